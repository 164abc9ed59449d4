#include "system/process.h"

#include <unistd.h>

namespace quillfen::system {

bool change_directory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

}  // namespace quillfen::system
