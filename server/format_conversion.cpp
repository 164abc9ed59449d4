#include "server/format_conversion.h"

#include <algorithm>
#include <cstring>

namespace quillfen::server {

void convert_420_to_yuy2(const VideoFrame& source, VideoFrame& destination, int width, int height) {
  const int chroma_width = width / 2;
  const int last_chroma_row = height / 2 - 1;
  const BYTE* u_plane = source.GetReadPtr(PLANAR_U);
  const BYTE* v_plane = source.GetReadPtr(PLANAR_V);
  const int chroma_pitch = source.GetPitch(PLANAR_U);
  BYTE* out_row = destination.GetWritePtr();
  for (int y = 0; y < height; ++y, out_row += destination.GetPitch()) {
    const BYTE* luma = source.GetReadPtr(PLANAR_Y) + static_cast<std::ptrdiff_t>(y) * source.GetPitch(PLANAR_Y);
    const int nearer = y / 2;
    const int farther = std::clamp(y % 2 == 0 ? nearer - 1 : nearer + 1, 0, last_chroma_row);
    const BYTE* u_near = u_plane + static_cast<std::ptrdiff_t>(nearer) * chroma_pitch;
    const BYTE* u_far = u_plane + static_cast<std::ptrdiff_t>(farther) * chroma_pitch;
    const BYTE* v_near = v_plane + static_cast<std::ptrdiff_t>(nearer) * chroma_pitch;
    const BYTE* v_far = v_plane + static_cast<std::ptrdiff_t>(farther) * chroma_pitch;
    for (int x = 0; x < chroma_width; ++x) {
      BYTE* pair = out_row + 4 * x;
      pair[0] = luma[2 * x];
      pair[1] = static_cast<BYTE>((3 * u_near[x] + u_far[x] + 2) >> 2);
      pair[2] = luma[2 * x + 1];
      pair[3] = static_cast<BYTE>((3 * v_near[x] + v_far[x] + 2) >> 2);
    }
  }
}

void convert_yuy2_to_420(const VideoFrame& source, VideoFrame& destination, int width, int height) {
  const int chroma_width = width / 2;
  const int source_pitch = source.GetPitch();
  for (int y = 0; y < height; ++y) {
    const BYTE* in_row = source.GetReadPtr() + static_cast<std::ptrdiff_t>(y) * source_pitch;
    BYTE* luma = destination.GetWritePtr(PLANAR_Y) + static_cast<std::ptrdiff_t>(y) * destination.GetPitch(PLANAR_Y);
    for (int x = 0; x < width; ++x) luma[x] = in_row[2 * x];
  }
  for (int j = 0; j < height / 2; ++j) {
    const BYTE* upper = source.GetReadPtr() + static_cast<std::ptrdiff_t>(2 * j) * source_pitch;
    const BYTE* lower = upper + source_pitch;
    const std::ptrdiff_t chroma_row = static_cast<std::ptrdiff_t>(j) * destination.GetPitch(PLANAR_U);
    BYTE* u = destination.GetWritePtr(PLANAR_U) + chroma_row;
    BYTE* v = destination.GetWritePtr(PLANAR_V) + chroma_row;
    for (int x = 0; x < chroma_width; ++x) {
      u[x] = static_cast<BYTE>((upper[4 * x + 1] + lower[4 * x + 1] + 1) >> 1);
      v[x] = static_cast<BYTE>((upper[4 * x + 3] + lower[4 * x + 3] + 1) >> 1);
    }
  }
}

}  // namespace quillfen::server
