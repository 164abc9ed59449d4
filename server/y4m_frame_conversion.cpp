#include "server/y4m_frame_conversion.h"

#include <cstddef>
#include <cstring>

#include "image/planar_yuy2_rows.h"
#include "image/row_variants.h"

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
  const auto interleave_row = chosen_row_variant(planar_yuy2_row_variants()).interleave;
  BYTE* out = frame->GetWritePtr();
  const auto pitch = static_cast<std::size_t>(frame->GetPitch());
  for (std::size_t y = 0; y < s.height; ++y)
    interleave_row(y_plane + y * s.width, u_plane + y * s.chroma_width, v_plane + y * s.chroma_width,
                        static_cast<int>(s.chroma_width), out + y * pitch);
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
  const auto split_row = chosen_row_variant(planar_yuy2_row_variants()).split;
  const BYTE* in = frame->GetReadPtr();
  const auto pitch = static_cast<std::size_t>(frame->GetPitch());
  for (std::size_t y = 0; y < s.height; ++y)
    split_row(in + y * pitch, static_cast<int>(s.chroma_width), y_plane + y * s.width,
                   u_plane + y * s.chroma_width, v_plane + y * s.chroma_width);
}

}  // namespace quillfen::server
