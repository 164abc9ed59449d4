// The working image: every pixel carries its own Y, U and V byte, pixel
// (x, y) at byte 3 * (y * width + x), rows back to back with no gap, so a
// whole image is one run of bytes that can be copied in one go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

inline constexpr int kBytesPerPixel = 3;

// Bytes of an image of width x height pixels, computed in size_t so that a
// large frame cannot wrap the product around.
inline std::size_t packed_yuv444_size(int width, int height) {
  return static_cast<std::size_t>(kBytesPerPixel) * static_cast<std::size_t>(width) *
         static_cast<std::size_t>(height);
}

class PackedYuv444 {
 public:
  // Takes the bytes from the general allocator, uninitialised: every frame
  // request overwrites the whole image before reading it. An image of a
  // huge page or more is aligned to one, so that a system that backs
  // memory with huge pages by itself can do so for the whole image. The
  // module asks the system for nothing beyond the standard allocator.
  // Throws std::bad_alloc when memory runs out.
  PackedYuv444(int width, int height);

  std::uint8_t* data() { return bytes_.get(); }
  const std::uint8_t* data() const { return bytes_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t size_bytes() const { return packed_yuv444_size(width_, height_); }

 private:
  struct Free {
    void operator()(std::uint8_t* bytes) const;
  };
  std::unique_ptr<std::uint8_t[], Free> bytes_;
  int width_;
  int height_;
};
