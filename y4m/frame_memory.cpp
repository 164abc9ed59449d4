#include "y4m/frame_memory.h"

#include <new>

#include "cpu/aligned_memory.h"
#include "system/memory_advice.h"

namespace quillfen::y4m {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t round_up(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

}  // namespace

void FreeFrameMemory::operator()(std::uint8_t* memory) const { free_aligned(memory); }

FrameMemory allocate_frame_memory(std::size_t size, std::size_t alignment) {
  const bool huge = size >= kHugePage;
  if (huge) alignment = kHugePage;
  // allocate_aligned wants a multiple of the alignment.
  const std::size_t rounded = round_up(size, alignment);
  if (rounded < size) throw std::bad_alloc();
  auto* memory = static_cast<std::uint8_t*>(allocate_aligned(alignment, rounded));
  if (!memory) throw std::bad_alloc();
  if (huge) system::advise_huge_pages(memory, rounded);
  return FrameMemory(memory);
}

}  // namespace quillfen::y4m
