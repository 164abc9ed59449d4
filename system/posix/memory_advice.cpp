#include "system/memory_advice.h"

#include <sys/mman.h>

namespace quillfen::system {

void advise_huge_pages(void* memory, std::size_t size) { (void)::madvise(memory, size, MADV_HUGEPAGE); }

}  // namespace quillfen::system
