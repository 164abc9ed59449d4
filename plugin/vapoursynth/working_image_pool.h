// The working images of a VapourSynth Quillfen node. The host asks one node
// for several frames at once from its worker threads, so each request takes
// a set of its own for as long as it runs and hands it back after; a set is
// made only when every existing one is in use, so there are never more sets
// than requests that ran at the same time, and a frame request allocates
// nothing once the pool has reached that size.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "host/avisynth_interface.h"
#include "image/packed_yuv444.h"
#include "propagation/gaussian_weight_cache.h"

struct WorkingImages {
  WorkingImages(int width, int height, std::size_t scratch_bytes, bool gaussian)
      : current(width, height), next(width, height), scratch(new BYTE[scratch_bytes]),
        gaussian_memo(gaussian_weight_memo_for(gaussian)) {}

  PackedYuv444 current;
  PackedYuv444 next;
  std::unique_ptr<BYTE[]> scratch;  // rows for the 4:2:0 conversions
  std::unique_ptr<GaussianWeightCache> gaussian_memo;  // for the Gaussian form only
};

class WorkingImagePool {
 public:
  WorkingImagePool(int width, int height, std::size_t scratch_bytes, bool gaussian)
      : width_(width), height_(height), scratch_bytes_(scratch_bytes), gaussian_(gaussian) {}

  // A set held by one request; it goes back to the pool when the lease ends.
  class Lease {
   public:
    Lease(WorkingImagePool& pool, std::unique_ptr<WorkingImages> images)
        : pool_(pool), images_(std::move(images)) {}
    ~Lease() { pool_.give_back(std::move(images_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    // False when no set could be made for want of memory.
    explicit operator bool() const { return images_ != nullptr; }
    WorkingImages& operator*() const { return *images_; }

   private:
    WorkingImagePool& pool_;
    std::unique_ptr<WorkingImages> images_;
  };

  // An idle set, or a new one when every set is in use.
  Lease take() noexcept;

 private:
  void give_back(std::unique_ptr<WorkingImages> images);

  const int width_;
  const int height_;
  const std::size_t scratch_bytes_;
  const bool gaussian_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<WorkingImages>> idle_;
};
