// The running command itself: its working directory, and whether a
// descriptor is a terminal that takes a redrawn progress line.
#pragma once

#include <string>

namespace quillfen::system {

// Makes `path` the working directory; false when it cannot.
bool change_directory(const std::string& path);

// Whether `fd` is a terminal that draws a line redrawn in place ("\r" and
// erase to the end of the line).
bool is_terminal(int fd);

}  // namespace quillfen::system
