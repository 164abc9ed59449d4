#include "cli/stream_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/command_error.h"

namespace quillfen::cli {
namespace {

constexpr const char kStandardStream[] = "-";

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file the command opens lands on the lowest free descriptor: when the
// caller closed standard input or output, that would be 0 or 1, and "-"
// would then read or write the command's own file. Moved above them.
int clear_of_standard_streams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int saved_errno = errno;
  ::close(fd);
  errno = saved_errno;
  return moved;
}

// Throws unless the standard stream `fd` is open.
void check_standard_stream(int fd, const char* role) {
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    throw CommandError(std::string("quillfen: ") + role + " \"-\": standard " +
                       (fd == STDIN_FILENO ? "input" : "output") + " is not open (" + std::strerror(errno) + ")");
}

StreamFile open_output_file(const std::string& path, const StreamFile& input, const std::string& role,
                            int truncation) {
  if (path == kStandardStream) check_standard_stream(STDOUT_FILENO, role.c_str());
  struct stat input_info {};
  struct stat output_info {};
  const bool output_exists = path == kStandardStream ? ::fstat(STDOUT_FILENO, &output_info) == 0
                                                     : ::stat(path.c_str(), &output_info) == 0;
  // Only a regular file can be clobbered: a terminal or a pipe may well be
  // both the input and the output.
  if (output_exists && ::fstat(input.fd(), &input_info) == 0 && S_ISREG(input_info.st_mode) &&
      same_file(input_info, output_info))
    throw CommandError("quillfen: " + role + " \"" + path + "\" is the same file as INPUT; nothing was written");

  if (path == kStandardStream) return StreamFile(STDOUT_FILENO, false);
  const int fd = clear_of_standard_streams(::open(path.c_str(), O_WRONLY | O_CREAT | truncation | O_CLOEXEC, 0666));
  if (fd < 0) throw CommandError("quillfen: cannot write " + role + " \"" + path + "\": " + std::strerror(errno));
  return StreamFile(fd, true);
}

}  // namespace

StreamFile::~StreamFile() {
  if (owned_) ::close(fd_);
}

StreamFile open_input(const std::string& path) {
  if (path == kStandardStream) {
    check_standard_stream(STDIN_FILENO, "INPUT");
    return StreamFile(STDIN_FILENO, false);
  }
  const int fd = clear_of_standard_streams(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd < 0) throw CommandError("quillfen: cannot open INPUT \"" + path + "\": " + std::strerror(errno));
  return StreamFile(fd, true);
}

StreamFile open_output(const std::string& path, const StreamFile& input, const std::string& role) {
  return open_output_file(path, input, role, O_TRUNC);
}

StreamFile open_output_to_empty(const std::string& path, const StreamFile& input) {
  return open_output_file(path, input, "OUTPUT", 0);
}

void empty_output(const StreamFile& output, const std::string& path) {
  struct stat info {};
  if (!output.owned() || ::fstat(output.fd(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (::ftruncate(output.fd(), 0) != 0)
    throw CommandError("quillfen: cannot write OUTPUT \"" + path + "\": " + std::strerror(errno));
}

std::string executable_directory() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw CommandError("quillfen: cannot find the executable's directory: " + error.message());
  return executable.parent_path().string();
}

}  // namespace quillfen::cli
