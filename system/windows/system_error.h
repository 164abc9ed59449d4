// Windows reports failures through GetLastError; the command names them
// with strerror(errno), as it does on other systems.
#pragma once

namespace quillfen::system {

// Sets errno to the nearest meaning of the calling thread's last Windows error.
void set_errno_from_last_error();

}  // namespace quillfen::system
