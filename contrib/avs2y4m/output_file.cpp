#include "contrib/avs2y4m/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/command_error.h"

namespace quillfen::avs2y4m {

using cli::CommandError;

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  struct stat status {};
  const bool exists = stat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) throw CommandError("avs2y4m: " + path + " is a folder");
  owned_ = true;
  if (exists && !S_ISREG(status.st_mode)) {
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) fail("cannot be opened");
    return;
  }
  std::vector<char> name(path.begin(), path.end());
  const char kSuffix[] = ".partial-XXXXXX";
  name.insert(name.end(), kSuffix, kSuffix + sizeof kSuffix);
  fd_ = mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) fail("cannot be written");
  temporary_ = name.data();
  // mkostemp makes the file private; OUTPUT gets the permissions of any new file.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
  if (owned_ && fd_ >= 0) close(fd_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

void OutputFile::fail(const std::string& what) const {
  throw CommandError("avs2y4m: " + path_ + " " + what + ": " + std::strerror(errno));
}

void OutputFile::write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EPIPE) throw OutputClosed{};
    if (written == 0) errno = EIO;
    if (written <= 0) fail("cannot be written");
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

void OutputFile::commit() {
  if (temporary_.empty()) return;
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) fail("cannot be written");
  if (rename(temporary_.c_str(), path_.c_str()) != 0) fail("cannot be written");
  temporary_.clear();
}

}  // namespace quillfen::avs2y4m
