#include "system/files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "system/windows/system_error.h"

// The descriptors are the C runtime's, but every read and write goes
// straight to the file's handle: the runtime's own reads and writes would
// translate line ends on the standard streams, which are opened as text.
namespace quillfen::system {
namespace {

// Moves a descriptor above the standard streams when it landed on one.
int clear_of_standard_streams(int fd) {
  int held[kStandardError + 1];
  int count = 0;
  while (fd >= 0 && fd <= kStandardError) {
    held[count++] = fd;
    fd = ::_dup(fd);
  }
  const int saved_errno = errno;
  for (int i = 0; i < count; ++i) ::_close(held[i]);
  errno = saved_errno;
  return fd;
}

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool describe(HANDLE handle, FileStatus& status) {
  status = FileStatus{};
  if (::GetFileType(handle) != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) {
    set_errno_from_last_error();
    return false;
  }
  status.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  status.size = static_cast<long long>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  status.device = info.dwVolumeSerialNumber;
  status.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// One ReadFile or WriteFile takes at most a DWORD of bytes.
DWORD chunk(std::size_t count) { return static_cast<DWORD>(std::min<std::size_t>(count, INT_MAX)); }

}  // namespace

int open_for_reading(const std::string& path) {
  return clear_of_standard_streams(::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
}

int open_for_writing(const std::string& path, bool truncate) {
  return clear_of_standard_streams(::_open(
      path.c_str(), _O_WRONLY | _O_CREAT | (truncate ? _O_TRUNC : 0) | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE));
}

int close_file(int fd) { return ::_close(fd); }

bool is_open(int fd) {
  const HANDLE handle = handle_of(fd);
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && handle != reinterpret_cast<HANDLE>(-2)) return true;
  errno = EBADF;
  return false;
}

long long read_some(int fd, void* buffer, std::size_t count) {
  DWORD got = 0;
  if (::ReadFile(handle_of(fd), buffer, chunk(count), &got, nullptr)) return got;
  // The writer of a pipe has closed it: the input's end.
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
  set_errno_from_last_error();
  return -1;
}

long long write_some(int fd, const void* data, std::size_t count) {
  DWORD written = 0;
  if (::WriteFile(handle_of(fd), data, chunk(count), &written, nullptr)) return written;
  set_errno_from_last_error();
  return -1;
}

long long read_at(int fd, void* buffer, std::size_t count, long long offset) {
  // A read at an offset moves a Windows file's position to the end of what
  // it read; the position is put back, as pread leaves it.
  const long long position = file_position(fd);
  if (position < 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD got = 0;
  const bool read = ::ReadFile(handle_of(fd), buffer, chunk(count), &got, &at);
  const DWORD error = ::GetLastError();
  LARGE_INTEGER back;
  back.QuadPart = position;
  if (!::SetFilePointerEx(handle_of(fd), back, nullptr, FILE_BEGIN)) {
    set_errno_from_last_error();
    return -1;
  }
  if (read) return got;
  if (error == ERROR_HANDLE_EOF) return 0;
  ::SetLastError(error);
  set_errno_from_last_error();
  return -1;
}

long long file_position(int fd) {
  LARGE_INTEGER none{};
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(handle_of(fd), none, &position, FILE_CURRENT)) {
    set_errno_from_last_error();
    return -1;
  }
  return position.QuadPart;
}

bool move_position(int fd, long long count) {
  LARGE_INTEGER by;
  by.QuadPart = count;
  if (::SetFilePointerEx(handle_of(fd), by, nullptr, FILE_CURRENT)) return true;
  set_errno_from_last_error();
  return false;
}

bool truncate_file(int fd, long long size) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = size;
  if (::SetFileInformationByHandle(handle_of(fd), FileEndOfFileInfo, &end, sizeof end)) return true;
  set_errno_from_last_error();
  return false;
}

bool flush_to_disk(int fd) {
  if (::FlushFileBuffers(handle_of(fd))) return true;
  set_errno_from_last_error();
  return false;
}

bool file_status(int fd, FileStatus& status) {
  if (!is_open(fd)) return false;
  return describe(handle_of(fd), status);
}

bool file_status(const std::string& path, FileStatus& status) {
  // Opened for no access at all, which any file allows; directories too.
  const HANDLE handle =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return false;
  }
  const bool described = describe(handle, status);
  ::CloseHandle(handle);
  return described;
}

bool replace_file(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  set_errno_from_last_error();
  return false;
}

bool remove_file(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return true;
  set_errno_from_last_error();
  return false;
}

std::FILE* stream_on_copy(int fd) {
  const int copy = clear_of_standard_streams(::_dup(fd));
  if (copy < 0) return nullptr;
  // Binary: the lines end as they do everywhere else.
  std::FILE* stream = ::_fdopen(copy, "wb");
  if (!stream) {
    const int saved_errno = errno;
    ::_close(copy);
    errno = saved_errno;
  }
  return stream;
}

}  // namespace quillfen::system
