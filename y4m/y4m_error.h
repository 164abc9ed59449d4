// Failures of reading or writing a YUV4MPEG2 stream: malformed or
// unsupported input, a read or write that the system refused.
#pragma once

#include <string>

#include "server/server_error.h"

namespace quillfen::server {

class Y4mError : public ServerError {
 public:
  explicit Y4mError(const std::string& message) : ServerError(message) {}
};

// The reader of the output went away (EPIPE): not a fault of the input or
// of the filter, so the command ends quietly.
class Y4mOutputClosed : public Y4mError {
 public:
  Y4mOutputClosed() : Y4mError("output closed by its reader") {}
};

}  // namespace quillfen::server
