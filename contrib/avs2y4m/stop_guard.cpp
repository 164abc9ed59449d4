#include "contrib/avs2y4m/stop_guard.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cli/command_error.h"

namespace quillfen::avs2y4m {

namespace {

using namespace std::chrono_literals;

// How often the flag is looked at, and how long the loop has to see it
// itself between two frames before the guard acts: together well within a
// second.
constexpr auto kPoll = 50ms;
constexpr auto kLoopGrace = 400ms;

}  // namespace

StopGuard::StopGuard(const std::atomic<bool>& stop, OutputFile& file, const std::string& output)
    : stop_(stop), file_(file), output_(output), watcher_([this] { watch(); }) {}

StopGuard::~StopGuard() { finish(); }

void StopGuard::finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

void StopGuard::watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!finished_.wait_for(lock, kPoll, [this] { return done_ || stop_.load(); })) {
  }
  if (done_) return;
  // The loop sees the flag between frames and stops by itself.
  if (finished_.wait_for(lock, kLoopGrace, [this] { return done_; })) return;
  // Still inside a frame, and no record is being written (the lock).
  const bool removed = file_.remove_partial();
  std::fprintf(stderr, "avs2y4m: interrupted after %d frames%s%s\n", frames_.load(), removed ? "; " : "",
               removed ? (output_ + " not written").c_str() : "");
  std::fflush(stderr);
  // The frame under way belongs to AviSynth+, which nothing may tear down
  // while it runs: the process ends as it is.
  _exit(cli::kExitInterrupted);
}

}  // namespace quillfen::avs2y4m
