#include "system/process.h"

#include <io.h>
#include <windows.h>

#include "system/windows/system_error.h"

namespace quillfen::system {

// Paths are kept in the system's code page, as the C runtime hands over
// the command's arguments.
std::string executable_path() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      set_errno_from_last_error();
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

bool change_directory(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != 0; }

bool is_terminal(int fd) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) return false;
  // A console that cannot take terminal sequences would print the erase
  // sequence as text.
  return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace quillfen::system
