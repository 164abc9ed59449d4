// Requests to stop the command from outside: Ctrl-C and the system's request
// to end (SIGINT and SIGTERM; on Windows the console's Ctrl-C, Ctrl-Break
// and close). The first one sets a flag, which the command reads between
// whole frames; a second one ends the process at once. A reader of the
// output going away, or a file size limit, shows as a failed write rather
// than ending the process.
#pragma once

#include <atomic>

namespace quillfen::system {

// Installs the handlers; returns the flag they set.
const std::atomic<bool>& catch_stop_requests();

}  // namespace quillfen::system
