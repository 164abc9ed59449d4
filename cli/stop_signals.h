// Signals the command handles itself: SIGINT and SIGTERM ask it to stop
// between whole frames (a second one ends it at once), and SIGPIPE is
// ignored so that a reader going away shows as EPIPE on the next write, and
// SIGXFSZ so that a file size limit shows as a failed write, not a kill.
#pragma once

#include <atomic>

namespace quillfen::cli {

// Installs the handlers; returns the flag they set.
const std::atomic<bool>& install_stop_signals();

}  // namespace quillfen::cli
