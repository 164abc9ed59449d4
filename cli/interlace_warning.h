// The one line that tells the user an interlaced input is filtered as
// whole frames.
#pragma once

#include "y4m/y4m_header.h"

namespace quillfen::cli {

// Prints the warning on stderr when the header says the frames are interlaced.
void warn_if_interlaced(const y4m::Y4mHeader& header);

}  // namespace quillfen::cli
