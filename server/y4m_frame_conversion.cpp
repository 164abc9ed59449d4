#include "server/y4m_frame_conversion.h"

#include <cstddef>
#include <cstring>


namespace quillfen::server {
namespace {

struct PlaneSizes {
  std::size_t width;
  std::size_t height;
  std::size_t chroma_width;
  std::size_t chroma_height;
};

PlaneSizes plane_sizes(const y4m::Y4mHeader& header) {
  const auto width = static_cast<std::size_t>(header.width);
  const auto height = static_cast<std::size_t>(header.height);
  return {width, height, width / 2, header.chroma == y4m::Y4mChroma::k422 ? height : height / 2};
}

void copy_rows(const BYTE* src, std::size_t src_pitch, BYTE* dst, std::size_t dst_pitch,
               std::size_t row_size, std::size_t rows) {
  for (std::size_t y = 0; y < rows; ++y) std::memcpy(dst + y * dst_pitch, src + y * src_pitch, row_size);
}

// One row of 4:2:2 from its Y, U and V into YUY2 (Y0 U Y1 V per pixel pair).
void interleave_yuy2_row(const BYTE* y, const BYTE* u, const BYTE* v, std::size_t pairs, BYTE* out) {
  for (std::size_t pair = 0; pair < pairs; ++pair) {
    out[4 * pair + 0] = y[2 * pair];
    out[4 * pair + 1] = u[pair];
    out[4 * pair + 2] = y[2 * pair + 1];
    out[4 * pair + 3] = v[pair];
  }
}

void split_yuy2_row(const BYTE* in, std::size_t pairs, BYTE* y, BYTE* u, BYTE* v) {
  for (std::size_t pair = 0; pair < pairs; ++pair) {
    y[2 * pair] = in[4 * pair + 0];
    u[pair] = in[4 * pair + 1];
    y[2 * pair + 1] = in[4 * pair + 2];
    v[pair] = in[4 * pair + 3];
  }
}

}  // namespace

void y4m_planes_to_frame(const y4m::Y4mHeader& header, const BYTE* planes, const PVideoFrame& frame) {
  const PlaneSizes s = plane_sizes(header);
  const BYTE* y_plane = planes;
  const BYTE* u_plane = y_plane + s.width * s.height;
  const BYTE* v_plane = u_plane + s.chroma_width * s.chroma_height;

  if (header.chroma == y4m::Y4mChroma::k420) {
    copy_rows(y_plane, s.width, frame->GetWritePtr(PLANAR_Y), frame->GetPitch(PLANAR_Y), s.width, s.height);
    copy_rows(u_plane, s.chroma_width, frame->GetWritePtr(PLANAR_U), frame->GetPitch(PLANAR_U),
              s.chroma_width, s.chroma_height);
    copy_rows(v_plane, s.chroma_width, frame->GetWritePtr(PLANAR_V), frame->GetPitch(PLANAR_V),
              s.chroma_width, s.chroma_height);
    return;
  }
  BYTE* out = frame->GetWritePtr();
  const auto pitch = static_cast<std::size_t>(frame->GetPitch());
  for (std::size_t y = 0; y < s.height; ++y)
    interleave_yuy2_row(y_plane + y * s.width, u_plane + y * s.chroma_width, v_plane + y * s.chroma_width,
                        s.chroma_width, out + y * pitch);
}

void frame_to_y4m_planes(const y4m::Y4mHeader& header, const PVideoFrame& frame, BYTE* planes) {
  const PlaneSizes s = plane_sizes(header);
  BYTE* y_plane = planes;
  BYTE* u_plane = y_plane + s.width * s.height;
  BYTE* v_plane = u_plane + s.chroma_width * s.chroma_height;

  if (header.chroma == y4m::Y4mChroma::k420) {
    copy_rows(frame->GetReadPtr(PLANAR_Y), frame->GetPitch(PLANAR_Y), y_plane, s.width, s.width, s.height);
    copy_rows(frame->GetReadPtr(PLANAR_U), frame->GetPitch(PLANAR_U), u_plane, s.chroma_width,
              s.chroma_width, s.chroma_height);
    copy_rows(frame->GetReadPtr(PLANAR_V), frame->GetPitch(PLANAR_V), v_plane, s.chroma_width,
              s.chroma_width, s.chroma_height);
    return;
  }
  const BYTE* in = frame->GetReadPtr();
  const auto pitch = static_cast<std::size_t>(frame->GetPitch());
  for (std::size_t y = 0; y < s.height; ++y)
    split_yuy2_row(in + y * pitch, s.chroma_width, y_plane + y * s.width, u_plane + y * s.chroma_width,
                   v_plane + y * s.chroma_width);
}

}  // namespace quillfen::server
