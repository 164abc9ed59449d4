#include "contrib/avs2y4m/clip_format.h"

#include <bit>

namespace quillfen::avs2y4m {
namespace {

using y4m::Y4mChroma;

static_assert(std::endian::native == std::endian::little,
              "AviSynth+'s samples of more than 8 bits are copied to and from Y4M as they are");

struct Correspondence {
  int pixel_type;
  Y4mChroma chroma;
  int bits;
};

// Each Y4M format's first pixel type is the one a Y4M source makes; the
// others (YV16, I420) are written as the same Y4M format.
constexpr Correspondence kCorrespondences[] = {
    {VideoInfo::CS_YUY2, Y4mChroma::k422, 8},       {VideoInfo::CS_YV16, Y4mChroma::k422, 8},
    {VideoInfo::CS_YV12, Y4mChroma::k420, 8},       {VideoInfo::CS_I420, Y4mChroma::k420, 8},
    {VideoInfo::CS_YV24, Y4mChroma::k444, 8},       {VideoInfo::CS_YUV420P10, Y4mChroma::k420, 10},
    {VideoInfo::CS_YUV422P10, Y4mChroma::k422, 10}, {VideoInfo::CS_YUV444P10, Y4mChroma::k444, 10},
    {VideoInfo::CS_YUV420P12, Y4mChroma::k420, 12}, {VideoInfo::CS_YUV422P12, Y4mChroma::k422, 12},
    {VideoInfo::CS_YUV444P12, Y4mChroma::k444, 12}, {VideoInfo::CS_YUV420P14, Y4mChroma::k420, 14},
    {VideoInfo::CS_YUV422P14, Y4mChroma::k422, 14}, {VideoInfo::CS_YUV444P14, Y4mChroma::k444, 14},
    {VideoInfo::CS_YUV420P16, Y4mChroma::k420, 16}, {VideoInfo::CS_YUV422P16, Y4mChroma::k422, 16},
    {VideoInfo::CS_YUV444P16, Y4mChroma::k444, 16},
};

}  // namespace

std::optional<int> pixel_type_of(const y4m::Y4mFormat& format) {
  for (const Correspondence& c : kCorrespondences)
    if (c.chroma == format.chroma && c.bits == format.bits) return c.pixel_type;
  return std::nullopt;
}

std::optional<y4m::Y4mFormat> y4m_format_of(const VideoInfo& vi) {
  for (const Correspondence& c : kCorrespondences)
    if (c.pixel_type == vi.pixel_type) return y4m::Y4mFormat{c.chroma, c.bits};
  return std::nullopt;
}

std::string conversion_to_y4m(const VideoInfo& vi) {
  std::string calls;
  if (vi.IsYUVA() || vi.IsPlanarRGBA()) calls += ".RemoveAlphaPlane()";
  if (vi.BitsPerComponent() == 32) calls += ".ConvertBits(16)";
  const bool layout_taken = (vi.IsYUV() || vi.IsYUVA()) && !vi.IsY() && (vi.Is420() || vi.Is422() || vi.Is444());
  // 4:1:1 goes to 4:2:2, which keeps all of its chroma; a grey clip, which
  // has none, to the smallest layout.
  if (!layout_taken)
    calls += vi.IsRGB() ? ".ConvertToYUV444()" : vi.IsYV411() ? ".ConvertToYUV422()" : ".ConvertToYUV420()";
  return calls.erase(0, 1);
}

}  // namespace quillfen::avs2y4m
