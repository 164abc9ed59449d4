// The one line that tells the user an interlaced input is filtered as
// whole frames.
#pragma once

#include "server/y4m_header.h"

namespace quillfen::cli {

// Prints the warning on stderr when the header says the frames are interlaced.
void warn_if_interlaced(const server::Y4mHeader& header);

}  // namespace quillfen::cli
