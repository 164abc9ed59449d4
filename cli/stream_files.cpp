#include "cli/stream_files.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/command_error.h"
#include "system/files.h"

namespace quillfen::cli {
namespace {

constexpr const char kStandardStream[] = "-";

// Throws unless the standard stream `fd` is open.
void check_standard_stream(int fd, const char* role) {
  if (!system::is_open(fd))
    throw CommandError(std::string("quillfen: ") + role + " \"-\": standard " +
                       (fd == system::kStandardInput ? "input" : "output") + " is not open (" +
                       std::strerror(errno) + ")");
}

StreamFile open_output_file(const std::string& path, const StreamFile& input, const std::string& role,
                            bool truncate) {
  if (path == kStandardStream) check_standard_stream(system::kStandardOutput, role.c_str());
  system::FileStatus input_status;
  system::FileStatus output_status;
  const bool output_exists = path == kStandardStream ? system::file_status(system::kStandardOutput, output_status)
                                                     : system::file_status(path, output_status);
  // Only a regular file can be clobbered: a terminal or a pipe may well be
  // both the input and the output.
  if (output_exists && system::file_status(input.fd(), input_status) && input_status.regular &&
      input_status.same_file_as(output_status))
    throw CommandError("quillfen: " + role + " \"" + path + "\" is the same file as INPUT; nothing was written");

  if (path == kStandardStream) return StreamFile(system::kStandardOutput, false);
  const int fd = system::open_for_writing(path, truncate);
  if (fd < 0) throw CommandError("quillfen: cannot write " + role + " \"" + path + "\": " + std::strerror(errno));
  return StreamFile(fd, true);
}

}  // namespace

StreamFile::~StreamFile() {
  if (owned_) system::close_file(fd_);
}

StreamFile open_input(const std::string& path) {
  if (path == kStandardStream) {
    check_standard_stream(system::kStandardInput, "INPUT");
    return StreamFile(system::kStandardInput, false);
  }
  const int fd = system::open_for_reading(path);
  if (fd < 0) throw CommandError("quillfen: cannot open INPUT \"" + path + "\": " + std::strerror(errno));
  return StreamFile(fd, true);
}

StreamFile open_output(const std::string& path, const StreamFile& input, const std::string& role) {
  return open_output_file(path, input, role, true);
}

StreamFile open_output_to_empty(const std::string& path, const StreamFile& input) {
  return open_output_file(path, input, "OUTPUT", false);
}

void empty_output(const StreamFile& output, const std::string& path) {
  system::FileStatus status;
  if (!output.owned() || !system::file_status(output.fd(), status) || !status.regular) return;
  if (!system::truncate_file(output.fd(), 0))
    throw CommandError("quillfen: cannot write OUTPUT \"" + path + "\": " + std::strerror(errno));
}

}  // namespace quillfen::cli
