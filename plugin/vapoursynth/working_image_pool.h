// The working images of a VapourSynth Quillfen node, as frame filters that
// each own a set. The host asks one node for several frames at once from
// its worker threads, so each request takes a filter of its own for as long
// as it runs and hands it back after; a filter is made only when every
// existing one is in use, so there are never more sets than requests that
// ran at the same time, and a frame request allocates nothing once the pool
// has reached that size.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "filter/frame_filter.h"

namespace quillfen {

class WorkingImagePool {
 public:
  WorkingImagePool(const FrameFormat& format, const QuillfenParameters& parameters, const PassKernel& kernel)
      : format_(format), parameters_(parameters), kernel_(kernel) {}

  // A filter held by one request; it goes back to the pool when the lease
  // ends.
  class Lease {
   public:
    Lease(WorkingImagePool& pool, std::unique_ptr<FrameFilter> filter)
        : pool_(pool), filter_(std::move(filter)) {}
    ~Lease() { pool_.give_back(std::move(filter_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    // False when no filter could be made for want of memory.
    explicit operator bool() const { return filter_ != nullptr; }
    FrameFilter& operator*() const { return *filter_; }

   private:
    WorkingImagePool& pool_;
    std::unique_ptr<FrameFilter> filter_;
  };

  // An idle filter, or a new one when every filter is in use.
  Lease take() noexcept;

 private:
  void give_back(std::unique_ptr<FrameFilter> filter);

  const FrameFormat format_;
  const QuillfenParameters parameters_;
  const PassKernel& kernel_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<FrameFilter>> idle_;
};

}  // namespace quillfen
