// The frame server's own failures (a plugin that cannot be loaded, a command
// line argument that does not fit a function), as opposed to the script
// errors that plugins raise through ThrowError.
#pragma once

#include <stdexcept>
#include <string>

namespace quillfen::server {

class ServerError : public std::runtime_error {
 public:
  explicit ServerError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quillfen::server
