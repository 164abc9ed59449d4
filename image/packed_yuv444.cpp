#include "image/packed_yuv444.h"

#include <new>

#include "cpu/aligned_memory.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kCacheLine = 64;

std::size_t round_up(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

std::uint8_t* allocate_image(std::size_t size) {
  const std::size_t alignment = size >= kHugePage ? kHugePage : kCacheLine;
  // aligned_alloc wants a multiple of the alignment, and an empty image
  // still gets a block of its own.
  const std::size_t rounded = round_up(size == 0 ? 1 : size, alignment);
  if (rounded < size) throw std::bad_alloc();
  auto* bytes = static_cast<std::uint8_t*>(quillfen::allocate_aligned(alignment, rounded));
  if (!bytes) throw std::bad_alloc();
  return bytes;
}

}  // namespace

PackedYuv444::PackedYuv444(int width, int height)
    : bytes_(allocate_image(packed_yuv444_size(width, height))), width_(width), height_(height) {}

void PackedYuv444::Free::operator()(std::uint8_t* bytes) const { quillfen::free_aligned(bytes); }
