#include "cli/interlace_warning.h"

#include <cstdio>

namespace quillfen::cli {

// The filter sees whole frames: the two fields of an interlaced frame are
// filtered together, as one picture.
void warn_if_interlaced(const y4m::Y4mHeader& header) {
  if (header.interlace == 't' || header.interlace == 'b' || header.interlace == 'm')
    std::fprintf(stderr,
                 "quillfen: warning: the input is interlaced (I%c); each frame is filtered as one picture, "
                 "both fields together\n",
                 header.interlace);
}

}  // namespace quillfen::cli
