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

// Arguments that do not fit a function's signature: an unknown name, a
// value of another kind, one given twice, a required one left out.
class ArgumentError : public ServerError {
 public:
  explicit ArgumentError(const std::string& message) : ServerError(message) {}
};

}  // namespace quillfen::server
