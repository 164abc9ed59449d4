// A stop request (Ctrl-C, SIGTERM) that the frame loop cannot take up soon
// because AviSynth+ is still making a frame: a frame can take minutes (a
// thousand passes of a large radius), and AviSynth+ cannot cut one short.
// The guard then ends the command itself, within a second of the request,
// between two records: it removes the partial output (standard output keeps
// whole frames only), says how many frames were written, and leaves with the
// interrupted status without waiting for the frame.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "contrib/avs2y4m/output_file.h"

namespace quillfen::avs2y4m {

class StopGuard {
 public:
  // `stop` is the flag of system::catch_stop_requests; `file` and `output`
  // outlive the guard.
  StopGuard(const std::atomic<bool>& stop, OutputFile& file, const std::string& output);
  // Stops watching (finish).
  ~StopGuard();
  StopGuard(const StopGuard&) = delete;
  StopGuard& operator=(const StopGuard&) = delete;

  // Held while a record is written, so that the guard never ends the
  // command inside one; counts the record once it is written whole.
  class Writing {
   public:
    explicit Writing(StopGuard& guard) : guard_(guard), lock_(guard.mutex_) {}
    ~Writing() {
      if (std::uncaught_exceptions() == 0) ++guard_.frames_;
    }

   private:
    StopGuard& guard_;
    std::lock_guard<std::mutex> lock_;
  };

  // From here on the loop's own handling (or none) applies: called before
  // the output is committed and when the loop leaves.
  void finish();

 private:
  void watch();

  const std::atomic<bool>& stop_;
  OutputFile& file_;
  const std::string output_;
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::atomic<int> frames_{0};
  std::thread watcher_;
};

}  // namespace quillfen::avs2y4m
