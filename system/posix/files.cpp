#include "system/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quillfen::system {
namespace {

// A file lands on the lowest free descriptor: moved above the standard
// streams when one of them was closed.
int clear_of_standard_streams(int fd) {
  if (fd < 0 || fd > kStandardError) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kStandardError + 1);
  const int saved_errno = errno;
  ::close(fd);
  errno = saved_errno;
  return moved;
}

void describe(const struct stat& info, FileStatus& status) {
  status.regular = S_ISREG(info.st_mode);
  status.size = info.st_size;
  status.device = info.st_dev;
  status.file = info.st_ino;
}

}  // namespace

int open_for_reading(const std::string& path) {
  return clear_of_standard_streams(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

int open_for_writing(const std::string& path, bool truncate) {
  return clear_of_standard_streams(
      ::open(path.c_str(), O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0) | O_CLOEXEC, 0666));
}

int close_file(int fd) { return ::close(fd); }

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

long long read_some(int fd, void* buffer, std::size_t count) { return ::read(fd, buffer, count); }

long long write_some(int fd, const void* data, std::size_t count) { return ::write(fd, data, count); }

long long read_at(int fd, void* buffer, std::size_t count, long long offset) {
  return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}

long long file_position(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

bool move_position(int fd, long long count) { return ::lseek(fd, static_cast<off_t>(count), SEEK_CUR) >= 0; }

bool truncate_file(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool flush_to_disk(int fd) { return ::fsync(fd) == 0; }

bool file_status(int fd, FileStatus& status) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  describe(info, status);
  return true;
}

bool file_status(const std::string& path, FileStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  describe(info, status);
  return true;
}

bool replace_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::FILE* stream_on_copy(int fd) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, kStandardError + 1);
  if (copy < 0) return nullptr;
  std::FILE* stream = ::fdopen(copy, "w");
  if (!stream) {
    const int saved_errno = errno;
    ::close(copy);
    errno = saved_errno;
  }
  return stream;
}

}  // namespace quillfen::system
