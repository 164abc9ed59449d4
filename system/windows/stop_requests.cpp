#include "system/stop_requests.h"

#include <windows.h>

namespace quillfen::system {
namespace {

std::atomic<bool> stop_requested{false};

// Runs on a thread of its own that the console starts. Returning FALSE hands
// the event on to the default handler, which ends the process.
BOOL WINAPI request_stop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return stop_requested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

const std::atomic<bool>& catch_stop_requests() {
  static const bool installed = ::SetConsoleCtrlHandler(request_stop, TRUE);
  (void)installed;
  return stop_requested;
}

// The console's own setting: Ctrl-C ignored, or handled again.
struct StopRequestsHeld::Previous {};

StopRequestsHeld::StopRequestsHeld() { ::SetConsoleCtrlHandler(nullptr, TRUE); }

StopRequestsHeld::~StopRequestsHeld() { ::SetConsoleCtrlHandler(nullptr, FALSE); }

}  // namespace quillfen::system
