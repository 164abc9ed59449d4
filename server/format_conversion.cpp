#include "server/format_conversion.h"

#include <cstddef>

#include "image/chroma_420.h"

namespace quillfen::server {

void convert_420_to_yuy2(const VideoFrame& source, VideoFrame& destination, int width, int height) {
  const int chroma_width = width / 2;
  const BYTE* u_plane = source.GetReadPtr(PLANAR_U);
  const BYTE* v_plane = source.GetReadPtr(PLANAR_V);
  const int chroma_pitch = source.GetPitch(PLANAR_U);
  BYTE* out_row = destination.GetWritePtr();
  for (int y = 0; y < height; ++y, out_row += destination.GetPitch()) {
    const BYTE* luma = source.GetReadPtr(PLANAR_Y) + static_cast<std::ptrdiff_t>(y) * source.GetPitch(PLANAR_Y);
    for (int x = 0; x < width; ++x) out_row[2 * x] = luma[x];
    const Chroma420Rows rows = chroma_420_rows_for(y, height);
    const std::ptrdiff_t nearer = static_cast<std::ptrdiff_t>(rows.nearer) * chroma_pitch;
    const std::ptrdiff_t farther = static_cast<std::ptrdiff_t>(rows.farther) * chroma_pitch;
    interpolate_422_chroma_row<4>(u_plane + nearer, u_plane + farther, chroma_width, out_row + 1);
    interpolate_422_chroma_row<4>(v_plane + nearer, v_plane + farther, chroma_width, out_row + 3);
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
    average_420_chroma_row<4>(upper + 1, lower + 1, chroma_width, destination.GetWritePtr(PLANAR_U) + chroma_row);
    average_420_chroma_row<4>(upper + 3, lower + 3, chroma_width, destination.GetWritePtr(PLANAR_V) + chroma_row);
  }
}

}  // namespace quillfen::server
