// The build without libpng: --compare is refused before it starts.
#include "cli/command_error.h"
#include "cli/png_writer.h"

namespace quillfen::cli {

bool can_write_png() { return false; }

void write_png(const std::string&, const RgbImage&) { throw CommandError(kCompareNotBuilt, kExitUsage); }

}  // namespace quillfen::cli
