#include "image/packed_yuv444.h"

#include <new>

#include "cpu/aligned_memory.h"

namespace quillfen {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kCacheLine = 64;

std::size_t round_up(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

void* allocate_image(std::size_t size) {
  const std::size_t alignment = size >= kHugePage ? kHugePage : kCacheLine;
  // aligned_alloc wants a multiple of the alignment, and an empty image
  // still gets a block of its own.
  const std::size_t rounded = round_up(size == 0 ? 1 : size, alignment);
  if (rounded < size) throw std::bad_alloc();
  void* memory = quillfen::allocate_aligned(alignment, rounded);
  if (!memory) throw std::bad_alloc();
  return memory;
}

// The image's bytes, refused where their count does not fit a size_t.
std::size_t image_bytes(int width, int height, std::size_t sample_size) {
  const std::size_t samples = packed_yuv444_size(width, height);
  if (samples > static_cast<std::size_t>(-1) / sample_size) throw std::bad_alloc();
  return samples * sample_size;
}

}  // namespace

template <class Sample>
PackedImage<Sample>::PackedImage(int width, int height)
    : samples_(static_cast<Sample*>(allocate_image(image_bytes(width, height, sizeof(Sample))))),
      width_(width),
      height_(height) {}

template <class Sample>
void PackedImage<Sample>::Free::operator()(Sample* samples) const {
  quillfen::free_aligned(samples);
}

template class PackedImage<std::uint8_t>;
template class PackedImage<std::uint16_t>;
template class PackedImage<float>;

}  // namespace quillfen
