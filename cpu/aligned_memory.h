// Memory aligned beyond what new gives, for rows that vector instructions
// load whole. Windows' C runtime has no aligned_alloc: its aligned blocks
// come from _aligned_malloc and go back through _aligned_free, not free.
#pragma once

#include <cstddef>
#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace quillfen {

// `size` must be a multiple of `alignment`, a power of two; null when the
// memory is not there.
inline void* allocate_aligned(std::size_t alignment, std::size_t size) {
#if defined(_WIN32)
  return ::_aligned_malloc(size, alignment);
#else
  return std::aligned_alloc(alignment, size);
#endif
}

inline void free_aligned(void* memory) {
#if defined(_WIN32)
  ::_aligned_free(memory);
#else
  std::free(memory);
#endif
}

}  // namespace quillfen
