#include "server/frame_pool.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "server/server_error.h"

namespace quillfen::server {
namespace {

// The smallest alignment of a buffer start: a cache line.
constexpr int base_alignment = 64;

bool same_planes(const VideoFrame& frame, const FrameLayout& layout) {
  return frame.GetOffset(PLANAR_Y) == 0 && frame.GetPitch() == layout.pitch &&
         frame.GetRowSize() == layout.row_size && frame.GetHeight() == layout.height &&
         frame.GetPitch(PLANAR_U) == layout.pitch_uv &&
         (!layout.planar() ||
          (frame.GetOffset(PLANAR_U) == layout.offset_u && frame.GetOffset(PLANAR_V) == layout.offset_v));
}

bool aligned(const BYTE* data, int alignment) {
  return reinterpret_cast<std::uintptr_t>(data) % static_cast<std::uintptr_t>(alignment) == 0;
}

// Whether rows 0 and height-1 of a plane, row_size bytes each, lie inside a
// buffer of `size` bytes; the pitch may be negative (a flipped view).
bool plane_inside(std::int64_t offset, std::int64_t pitch, std::int64_t row_size, std::int64_t height,
                  std::int64_t size) {
  if (row_size < 0 || height < 0) return false;
  if (row_size == 0 || height == 0) return offset >= 0 && offset <= size;
  const std::int64_t first = offset;
  const std::int64_t last = offset + (height - 1) * pitch;
  return std::min(first, last) >= 0 && std::max(first, last) + row_size <= size;
}

}  // namespace

FramePool::~FramePool() {
  for (auto& slot : slots_) {
    if (slot->buffer->GetRefcount() == 0) continue;
    // Still held by someone: leave the memory in place rather than let that
    // holder write into freed memory.
    slot->memory.release();
    slot->buffer.release();
    for (auto& frame : slot->frames) frame.release();
  }
}

PVideoFrame FramePool::acquire(const FrameLayout& layout) {
  VideoFrame* reusable = nullptr;
  Slot* slot = find_idle(layout, &reusable);
  if (!slot) slot = &allocate(layout);

  // Every frame on an idle buffer has been released completely (its release
  // decremented the buffer last), so all of them may be deleted or reused.
  std::erase_if(slot->frames, [&](const std::unique_ptr<VideoFrame>& frame) { return frame.get() != reusable; });
  if (reusable) {
    // A frame handed out again holds its buffer once more.
    slot->buffer->AddRef();
    return PVideoFrame(reusable);
  }
  auto frame = std::make_unique<VideoFrame>(slot->buffer.get(), 0, layout.pitch, layout.row_size, layout.height,
                                            layout.planar() ? layout.offset_u : 0,
                                            layout.planar() ? layout.offset_v : 0, layout.pitch_uv);
  slot->frames.push_back(std::move(frame));
  return PVideoFrame(slot->frames.back().get());
}

FramePool::Slot* FramePool::find_idle(const FrameLayout& layout, VideoFrame** reusable) {
  Slot* best = nullptr;
  for (auto& slot : slots_) {
    const VideoFrameBuffer& buffer = *slot->buffer;
    if (buffer.GetRefcount() != 0 || buffer.GetDataSize() < layout.data_size ||
        !aligned(buffer.GetReadPtr(), layout.alignment))
      continue;
    for (auto& frame : slot->frames) {
      if (same_planes(*frame, layout)) {
        *reusable = frame.get();
        return slot.get();
      }
    }
    if (!best || buffer.GetDataSize() < best->buffer->GetDataSize()) best = slot.get();
  }
  return best;
}

FramePool::Slot& FramePool::allocate(const FrameLayout& layout) {
  if (allocated_bytes_ + static_cast<std::size_t>(layout.data_size) > idle_limit_) free_idle_slots();
  // A zero size is never asked.
  auto slot = std::make_unique<Slot>();
  slot->memory = y4m::allocate_frame_memory(static_cast<std::size_t>(layout.data_size),
                                            static_cast<std::size_t>(std::max(base_alignment, layout.alignment)));
  slot->buffer = std::make_unique<VideoFrameBuffer>(slot->memory.get(), layout.data_size);
  slots_.push_back(std::move(slot));
  allocated_bytes_ += static_cast<std::size_t>(layout.data_size);
  return *slots_.back();
}

void FramePool::free_idle_slots() {
  std::erase_if(slots_, [&](const std::unique_ptr<Slot>& slot) {
    if (slot->buffer->GetRefcount() != 0) return false;
    allocated_bytes_ -= static_cast<std::size_t>(slot->buffer->GetDataSize());
    return true;
  });
}

PVideoFrame FramePool::view(const PVideoFrame& source, int offset, int pitch, int row_size, int height,
                            int offset_u, int offset_v, int pitch_uv) {
  VideoFrameBuffer* buffer = source->GetFrameBuffer();
  const auto owner = std::find_if(slots_.begin(), slots_.end(),
                                  [&](const std::unique_ptr<Slot>& slot) { return slot->buffer.get() == buffer; });
  if (owner == slots_.end()) throw ServerError("Subframe: the frame does not come from this environment");
  const std::int64_t size = buffer->GetDataSize();
  const bool inside =
      plane_inside(offset, pitch, row_size, height, size) &&
      (pitch_uv == 0 || (plane_inside(offset_u, pitch_uv, row_size / 2, height / 2, size) &&
                         plane_inside(offset_v, pitch_uv, row_size / 2, height / 2, size)));
  if (!inside) throw ServerError("Subframe: the requested planes reach outside the frame's buffer");
  Slot& slot = **owner;
  if (pitch_uv == 0)
    slot.frames.push_back(std::make_unique<VideoFrame>(buffer, offset, pitch, row_size, height));
  else
    slot.frames.push_back(
        std::make_unique<VideoFrame>(buffer, offset, pitch, row_size, height, offset_u, offset_v, pitch_uv));
  return PVideoFrame(slot.frames.back().get());
}

}  // namespace quillfen::server
