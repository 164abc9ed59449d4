#include "system/file_beside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quillfen::system {

int create_file_beside(const std::string& path, const std::string& tag, std::string& name) {
  std::string pattern = path + tag + "XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  name = pattern;
  // mkostemp makes the file private; the result gets the mode any new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  return fd;
}

}  // namespace quillfen::system
