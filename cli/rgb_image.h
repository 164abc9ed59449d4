// An 8-bit RGB picture in memory, rows top to bottom, pixels R, G, B.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillfen::cli {

struct Rgb {
  std::uint8_t r, g, b;
};

class RgbImage {
 public:
  RgbImage(int width, int height, Rgb background)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
      pixels_[i] = background.r;
      pixels_[i + 1] = background.g;
      pixels_[i + 2] = background.b;
    }
  }

  int width() const { return width_; }
  int height() const { return height_; }
  const std::uint8_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_ * 3; }

  // Pixels outside the picture are left alone.
  void set(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = pixels_.data() + (static_cast<std::size_t>(y) * width_ + x) * 3;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
  }

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> pixels_;
};

}  // namespace quillfen::cli
