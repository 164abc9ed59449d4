#include "system/process.h"

#include <io.h>
#include <windows.h>

namespace quillfen::system {

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
