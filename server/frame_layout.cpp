#include "server/frame_layout.h"

#include <climits>
#include <cstdint>
#include <string>

#include "server/server_error.h"

namespace quillfen::server {
namespace {

constexpr int max_alignment = 4096;

int checked_alignment(int align) {
  if (align < FRAME_ALIGN) return FRAME_ALIGN;
  if (align > max_alignment || (align & (align - 1)) != 0)
    throw ServerError("NewVideoFrame: alignment " + std::to_string(align) +
                      " is not a power of two up to " + std::to_string(max_alignment));
  return align;
}

std::int64_t round_up(std::int64_t value, int alignment) { return (value + alignment - 1) / alignment * alignment; }

// Lays out one luma (or interleaved) plane and, when chroma_row_size is above
// 0, two chroma planes of half the height after it.
FrameLayout lay_out(std::int64_t row_size, std::int64_t height, std::int64_t chroma_row_size, bool u_before_v,
                    int alignment) {
  const std::int64_t pitch = round_up(row_size, alignment);
  const std::int64_t pitch_uv = chroma_row_size > 0 ? round_up(chroma_row_size, alignment) : 0;
  const std::int64_t first_chroma = pitch * height;
  const std::int64_t second_chroma = first_chroma + pitch_uv * (height / 2);
  const std::int64_t data_size = second_chroma + pitch_uv * (height / 2);
  if (data_size > INT_MAX)
    throw ServerError("NewVideoFrame: a frame of " + std::to_string(row_size) + " bytes by " +
                      std::to_string(height) + " rows needs " + std::to_string(data_size) +
                      " bytes, more than a frame can address");
  FrameLayout layout;
  layout.row_size = static_cast<int>(row_size);
  layout.height = static_cast<int>(height);
  layout.pitch = static_cast<int>(pitch);
  layout.pitch_uv = static_cast<int>(pitch_uv);
  if (pitch_uv > 0) {
    layout.offset_u = static_cast<int>(u_before_v ? first_chroma : second_chroma);
    layout.offset_v = static_cast<int>(u_before_v ? second_chroma : first_chroma);
  }
  layout.data_size = static_cast<int>(data_size);
  layout.alignment = alignment;
  return layout;
}

}  // namespace

FrameLayout frame_layout(const VideoInfo& vi, int align) {
  const int alignment = checked_alignment(align);
  if (vi.width <= 0 || vi.height <= 0)
    throw ServerError("NewVideoFrame: frame size " + std::to_string(vi.width) + "x" + std::to_string(vi.height) +
                      " is not positive");
  const std::int64_t width = vi.width;
  const std::string size = std::to_string(vi.width) + "x" + std::to_string(vi.height);
  if (vi.IsYUY2()) {
    if (width % 2 != 0) throw ServerError("NewVideoFrame: YUY2 needs an even width, not " + size);
    return lay_out(2 * width, vi.height, 0, false, alignment);
  }
  if (vi.IsYV12()) {
    if (width % 2 != 0 || vi.height % 2 != 0)
      throw ServerError("NewVideoFrame: 4:2:0 needs an even width and height, not " + size);
    // YV12 stores V before U; I420 stores U first.
    return lay_out(width, vi.height, width / 2, vi.IsColorSpace(VideoInfo::CS_I420), alignment);
  }
  if (vi.IsColorSpace(VideoInfo::CS_BGR24)) return lay_out(3 * width, vi.height, 0, false, alignment);
  if (vi.IsColorSpace(VideoInfo::CS_BGR32)) return lay_out(4 * width, vi.height, 0, false, alignment);
  throw ServerError("NewVideoFrame: unknown pixel type " + std::to_string(vi.pixel_type));
}

FrameLayout frame_layout_like(const VideoFrame& frame, int align) {
  const bool planar = frame.GetPitch(PLANAR_U) != 0;
  return lay_out(frame.GetRowSize(), frame.GetHeight(), planar ? frame.GetRowSize(PLANAR_U) : 0,
                 frame.GetOffset(PLANAR_U) <= frame.GetOffset(PLANAR_V), checked_alignment(align));
}

}  // namespace quillfen::server
