// Where the planes of a frame lie in its buffer. Every plane starts on the
// alignment and every pitch is the row size rounded up to it, so a pitch may
// exceed the row size; frame sizes are checked against the interface's int
// fields before anything is allocated.
#pragma once

#include "host/avisynth_interface.h"

namespace quillfen::server {

struct FrameLayout {
  int row_size = 0;
  int height = 0;
  int pitch = 0;
  int offset_u = 0;  // offsets of the chroma planes; 0 with pitch_uv 0 for interleaved frames
  int offset_v = 0;
  int pitch_uv = 0;
  int data_size = 0;
  int alignment = FRAME_ALIGN;

  bool planar() const { return pitch_uv != 0; }
  bool operator==(const FrameLayout&) const = default;
};

// The layout of a new frame of this format. Throws ServerError for a format
// the server does not make frames for, a non-positive size, a size that the
// format cannot subsample (odd width of YUY2, odd width or height of
// YV12/I420), a frame too large for the interface, or an alignment that is
// not a power of two up to 4096. Alignments below 16 are raised to 16.
FrameLayout frame_layout(const VideoInfo& vi, int align);

// A layout with the same planes as `frame`, for a writable copy of it.
FrameLayout frame_layout_like(const VideoFrame& frame, int align);

}  // namespace quillfen::server
