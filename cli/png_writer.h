// Writes an RGB picture as an 8-bit PNG file with libpng.
#pragma once

#include <string>

#include "cli/rgb_image.h"

namespace quillfen::cli {

// The picture is written to a new file beside `path` and renamed over it
// once whole, so `path` is never left holding part of a picture. Throws
// CommandError naming the path on any failure, and leaves no file behind.
void write_png(const std::string& path, const RgbImage& image);

}  // namespace quillfen::cli
