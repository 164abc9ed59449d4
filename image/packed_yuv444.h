// The working image: every pixel carries its own Y, U and V sample, pixel
// (x, y) at sample 3 * (y * width + x), rows back to back with no gap, so a
// whole image is one run of samples that can be copied in one go. Clips of
// 8 bits keep one byte per sample; deeper clips one std::uint16_t, the
// clip's own code, in the machine's order; float clips one float, the
// host's own value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quillfen {

inline constexpr int kBytesPerPixel = 3;

// Samples of an image of width x height pixels (its bytes at 8 bits),
// computed in size_t so that a large frame cannot wrap the product around.
inline std::size_t packed_yuv444_size(int width, int height) {
  return static_cast<std::size_t>(kBytesPerPixel) * static_cast<std::size_t>(width) *
         static_cast<std::size_t>(height);
}

template <class Sample>
class PackedImage {
 public:
  // Takes the memory from the general allocator, uninitialised: every frame
  // request overwrites the whole image before reading it. An image of a
  // huge page or more is aligned to one, so that a system that backs
  // memory with huge pages by itself can do so for the whole image. The
  // module asks the system for nothing beyond the standard allocator.
  // Throws std::bad_alloc when memory runs out.
  PackedImage(int width, int height);

  Sample* data() { return samples_.get(); }
  const Sample* data() const { return samples_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t size_bytes() const { return packed_yuv444_size(width_, height_) * sizeof(Sample); }

 private:
  struct Free {
    void operator()(Sample* samples) const;
  };
  std::unique_ptr<Sample[], Free> samples_;
  int width_;
  int height_;
};

using PackedYuv444 = PackedImage<std::uint8_t>;
using PackedYuv444Wide = PackedImage<std::uint16_t>;

extern template class PackedImage<std::uint8_t>;
extern template class PackedImage<std::uint16_t>;
extern template class PackedImage<float>;

}  // namespace quillfen
