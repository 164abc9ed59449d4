// Failures of reading or writing a YUV4MPEG2 stream: malformed or
// unsupported input, a read or write that the system refused.
#pragma once

#include <stdexcept>
#include <string>

namespace quillfen::y4m {

class Y4mError : public std::runtime_error {
 public:
  explicit Y4mError(const std::string& message) : std::runtime_error(message) {}
};

// The reader of the output went away (EPIPE): not a fault of the input or
// of the filter, so the command ends quietly.
class Y4mOutputClosed : public Y4mError {
 public:
  Y4mOutputClosed() : Y4mError("output closed by its reader") {}
};

}  // namespace quillfen::y4m
