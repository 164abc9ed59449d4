#include "system/file_beside.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "system/windows/system_error.h"

namespace quillfen::system {
namespace {

std::atomic<unsigned> files_made{0};

}  // namespace

int create_file_beside(const std::string& path, const std::string& tag, std::string& name) {
  // The ending: this process, a count of its files, and the clock, tried
  // again on the rare name that another process took first.
  for (int attempt = 0; attempt < 100; ++attempt) {
    char ending[64];
    std::snprintf(ending, sizeof ending, "%lx-%x-%llx", ::GetCurrentProcessId(), files_made.fetch_add(1),
                  static_cast<unsigned long long>(::GetTickCount64()));
    const std::string candidate = path + tag + ending;
    // Sharing deletion lets the file be renamed onto its destination, or
    // removed, while it is still open.
    const HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      set_errno_from_last_error();
      return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(handle);
      ::DeleteFileA(candidate.c_str());
      return -1;
    }
    name = candidate;
    return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace quillfen::system
