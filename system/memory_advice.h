// Advice to the system on how a block of memory is used.
#pragma once

#include <cstddef>

namespace quillfen::system {

// Asks for large pages under `memory` (`size` bytes, a whole number of
// them). Only advice: where the system has none to give, the memory works
// the same on small ones.
void advise_huge_pages(void* memory, std::size_t size);

}  // namespace quillfen::system
