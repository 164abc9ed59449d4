// Memory for frame-sized buffers: the command's frame records and the
// embedded server's host frames. It is left untouched, so a buffer costs
// only the pages that are written; a block of at least a huge page is
// aligned to one and asked to be backed by huge pages, so that the first
// writes of a frame fault its memory in a few steps rather than one per
// 4 KiB page, which otherwise costs about as much as converting the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quillfen::y4m {

struct FreeFrameMemory {
  void operator()(std::uint8_t* memory) const;
};
using FrameMemory = std::unique_ptr<std::uint8_t[], FreeFrameMemory>;

// `size` bytes (above 0), uninitialised, aligned to `alignment` (a power of
// two up to 4096). Throws std::bad_alloc when memory runs out.
FrameMemory allocate_frame_memory(std::size_t size, std::size_t alignment);

}  // namespace quillfen::y4m
