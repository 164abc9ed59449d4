#include "system/stop_requests.h"

#include <signal.h>

namespace quillfen::system {
namespace {

std::atomic<bool> stop_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void request_stop(int) { stop_requested.store(true); }

}  // namespace

const std::atomic<bool>& catch_stop_requests() {
  struct sigaction action {};
  action.sa_handler = request_stop;
  sigemptyset(&action.sa_mask);
  // Reads and writes carry on, so no frame is cut; the handler goes after
  // its first signal, so that a second one ends the command at once.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  return stop_requested;
}

struct StopRequestsHeld::Previous {
  sigset_t mask;
};

StopRequestsHeld::StopRequestsHeld() : previous_(std::make_unique<Previous>()) {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  ::sigprocmask(SIG_BLOCK, &stops, &previous_->mask);
}

StopRequestsHeld::~StopRequestsHeld() { ::sigprocmask(SIG_SETMASK, &previous_->mask, nullptr); }

}  // namespace quillfen::system
