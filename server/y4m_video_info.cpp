#include "server/y4m_video_info.h"

namespace quillfen::server {

bool y4m_fits_host_frames(const y4m::Y4mHeader& header) {
  return header.bits == 8 && header.chroma != y4m::Y4mChroma::k444;
}

VideoInfo y4m_video_info(const y4m::Y4mHeader& header, int num_frames) {
  VideoInfo vi{};
  vi.width = header.width;
  vi.height = header.height;
  vi.fps_numerator = header.fps_numerator;
  vi.fps_denominator = header.fps_denominator;
  vi.num_frames = num_frames;
  vi.pixel_type = header.chroma == y4m::Y4mChroma::k422 ? VideoInfo::CS_YUY2 : VideoInfo::CS_YV12;
  vi.image_type = header.interlace == 't'   ? VideoInfo::IT_TFF
                  : header.interlace == 'b' ? VideoInfo::IT_BFF
                                            : 0;
  return vi;
}

bool y4m_parity(const y4m::Y4mHeader& header) { return header.interlace == 't'; }

}  // namespace quillfen::server
