// quillfen --compare FRAME INPUT OUTPUT.png: filters one frame and draws the
// before/after sheet of it into a PNG file.
#pragma once

#include <string>

#include "cli/command_line.h"

namespace quillfen::cli {

// Returns the exit status; throws CommandError with the line to print.
int compare_frame(const CommandOptions& options);

}  // namespace quillfen::cli
