// Writes an RGB picture as an 8-bit PNG file with libpng, in a build that
// has libpng (Debian has none for the Windows cross build).
#pragma once

#include <string>

#include "cli/rgb_image.h"

namespace quillfen::cli {

// The picture is written to a new file beside `path` and renamed over it
// once whole, so `path` is never left holding part of a picture. Throws
// CommandError naming the path on any failure, and leaves no file behind.
void write_png(const std::string& path, const RgbImage& image);

// Whether this build writes PNG files; without, --compare is refused with
// this line.
bool can_write_png();
constexpr char kCompareNotBuilt[] = "quillfen: --compare is not in this build (it needs libpng)";

}  // namespace quillfen::cli
