#include "system/process.h"

#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <system_error>

namespace quillfen::system {

std::string executable_path() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    errno = error.value();
    return {};
  }
  return executable.string();
}

bool change_directory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

}  // namespace quillfen::system
