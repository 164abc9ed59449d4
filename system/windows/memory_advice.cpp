#include "system/memory_advice.h"

namespace quillfen::system {

// Large pages on Windows need a privilege that users do not hold and memory
// reserved for them from the start; ordinary pages serve.
void advise_huge_pages(void*, std::size_t) {}

}  // namespace quillfen::system
