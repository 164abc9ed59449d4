// Reads a PNG file with libpng, for tests of the pictures the command draws.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace quillfen {

struct PngPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, pixels R, G, B

  const std::uint8_t* at(int x, int y) const { return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

// The picture as 8-bit RGB; width 0 when the file is not a PNG libpng reads.
PngPicture read_png(const std::filesystem::path& path);

}  // namespace quillfen
