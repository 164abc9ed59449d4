// Frame buffers and frame objects of one environment, recycled: in steady
// state a new frame is a released one handed out again, nothing is
// allocated. Frames may be released on any thread; their counts are atomic,
// and the pool treats a buffer (and the frames on it) as free only once the
// buffer's count reads 0. The pool itself is used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "host/avisynth_interface.h"
#include "server/frame_layout.h"
#include "y4m/frame_memory.h"

namespace quillfen::server {

class FramePool {
 public:
  FramePool() = default;
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;
  // Frees every buffer. A buffer still referenced is left allocated so that
  // a late holder cannot touch freed memory.
  ~FramePool();

  // A writable frame of this layout (its count and its buffer's count 1).
  PVideoFrame acquire(const FrameLayout& layout);

  // A frame sharing the buffer of `source` with other planes: offsets are
  // relative to the buffer start; pitch_uv 0 makes an interleaved frame.
  // Throws ServerError when the buffer is not from this pool or a plane
  // would reach outside it.
  PVideoFrame view(const PVideoFrame& source, int offset, int pitch, int row_size, int height, int offset_u,
                   int offset_v, int pitch_uv);

  // Idle buffers are freed before a new one is allocated once the pool
  // holds more than this many bytes.
  void set_idle_limit(std::size_t bytes) { idle_limit_ = bytes; }
  std::size_t idle_limit() const { return idle_limit_; }
  std::size_t buffer_count() const { return slots_.size(); }

 private:
  struct Slot {
    y4m::FrameMemory memory;
    std::unique_ptr<VideoFrameBuffer> buffer;
    std::vector<std::unique_ptr<VideoFrame>> frames;
  };

  Slot* find_idle(const FrameLayout& layout, VideoFrame** reusable);
  Slot& allocate(const FrameLayout& layout);
  void free_idle_slots();

  std::vector<std::unique_ptr<Slot>> slots_;
  std::size_t allocated_bytes_ = 0;
  std::size_t idle_limit_ = std::size_t{256} << 20;
};

}  // namespace quillfen::server
