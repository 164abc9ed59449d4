// Requests to stop the command from outside: Ctrl-C and the system's request
// to end (SIGINT and SIGTERM; on Windows the console's Ctrl-C and Ctrl-Break;
// closing the console ends the process at once). The first one sets a flag, which the command reads between
// whole frames; a second one ends the process at once. A reader of the
// output going away, or a file size limit, shows as a failed write rather
// than ending the process.
#pragma once

#include <atomic>
#include <memory>

namespace quillfen::system {

// Installs the handlers; returns the flag they set.
const std::atomic<bool>& catch_stop_requests();

// While one lives, stop requests wait (on POSIX systems SIGHUP too): for a
// step that must not be cut, such as a file beside OUTPUT that is to become
// OUTPUT or be removed. On Windows a Ctrl-C in that time is dropped.
class StopRequestsHeld {
 public:
  StopRequestsHeld();
  ~StopRequestsHeld();
  StopRequestsHeld(const StopRequestsHeld&) = delete;
  StopRequestsHeld& operator=(const StopRequestsHeld&) = delete;

 private:
  struct Previous;  // what the system held before
  std::unique_ptr<Previous> previous_;
};

}  // namespace quillfen::system
