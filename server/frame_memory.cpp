#include "server/frame_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace quillfen::server {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t round_up(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

}  // namespace

void FreeFrameMemory::operator()(BYTE* memory) const { std::free(memory); }

FrameMemory allocate_frame_memory(std::size_t size, std::size_t alignment) {
  const bool huge = size >= kHugePage;
  if (huge) alignment = kHugePage;
  // aligned_alloc wants a multiple of the alignment.
  const std::size_t rounded = round_up(size, alignment);
  if (rounded < size) throw std::bad_alloc();
  auto* memory = static_cast<BYTE*>(std::aligned_alloc(alignment, rounded));
  if (!memory) throw std::bad_alloc();
  // Only advice: where the system has no huge pages to give, the buffer
  // works the same on small ones.
  if (huge) (void)::madvise(memory, rounded, MADV_HUGEPAGE);
  return FrameMemory(memory);
}

}  // namespace quillfen::server
