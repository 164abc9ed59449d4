#include "contrib/avs2y4m/y4m_output.h"

#include <algorithm>

#include "cli/command_error.h"
#include "contrib/avs2y4m/clip_format.h"

namespace quillfen::avs2y4m {
namespace {

using cli::CommandError;

constexpr char kFrameLine[] = "FRAME\n";
constexpr std::size_t kFrameLineBytes = sizeof kFrameLine - 1;

// AviSynth+'s own name of the clip's format (YV411, YUVA420P10, RGB32, ...).
std::string format_name(const PClip& clip, IScriptEnvironment* env) {
  try {
    const AVSValue argument(clip);
    return env->Invoke("PixelType", AVSValue(&argument, 1)).AsString("another format");
  } catch (const IScriptEnvironment::NotFound&) {
    return "another format";
  }
}

// A field-based clip (after SeparateFields) is written as the pictures it
// holds; only a clip of whole frames has a field order to state.
char interlace_tag(const VideoInfo& vi) {
  if (vi.IsFieldBased()) return 'p';
  return vi.IsTFF() ? 't' : vi.IsBFF() ? 'b' : 'p';
}

}  // namespace

y4m::Y4mFormat y4m_format_of_clip(const PClip& clip, IScriptEnvironment* env) {
  const VideoInfo& vi = clip->GetVideoInfo();
  if (!vi.HasVideo()) throw CommandError("avs2y4m: the script's clip has no video");
  const std::optional<y4m::Y4mFormat> format = y4m_format_of(vi);
  if (!format)
    throw CommandError("avs2y4m: the script's clip is " + format_name(clip, env) +
                       "; Y4M is written from YUY2 and YUV 4:2:0, 4:2:2 or 4:4:4 of 8, 10, 12, 14 or 16 bits only: "
                       "end the script with " + conversion_to_y4m(vi));
  return *format;
}

y4m::Y4mHeader y4m_stream_header(const VideoInfo& vi, const y4m::Y4mFormat& format,
                                 const PictureProperties& properties) {
  using namespace std::string_literals;
  y4m::Y4mHeader header;
  header.width = vi.width;
  header.height = vi.height;
  header.fps_numerator = vi.fps_numerator;
  header.fps_denominator = vi.fps_denominator;
  header.interlace = interlace_tag(vi);
  header.chroma = format.chroma;
  header.bits = format.bits;
  header.tags = {"W"s + std::to_string(vi.width), "H"s + std::to_string(vi.height),
                 "F"s + std::to_string(vi.fps_numerator) + ":" + std::to_string(vi.fps_denominator),
                 "I"s + header.interlace};
  for (std::string& tag : picture_tags(format, properties)) header.tags.push_back(std::move(tag));
  return header;
}

void build_y4m_record(const VideoInfo& vi, const y4m::Y4mHeader& header, const PVideoFrame& frame,
                      std::vector<BYTE>& record) {
  record.resize(kFrameLineBytes + y4m::y4m_frame_bytes(header));
  std::copy(kFrameLine, kFrameLine + kFrameLineBytes, record.begin());
  BYTE* out = record.data() + kFrameLineBytes;
  const std::size_t w = static_cast<std::size_t>(vi.width), h = static_cast<std::size_t>(vi.height);
  if (vi.IsYUY2()) {
    BYTE* y = out;
    BYTE* u = y + w * h;
    BYTE* v = u + w / 2 * h;
    for (std::size_t r = 0; r < h; ++r) {
      const BYTE* row = frame->GetReadPtr() + r * frame->GetPitch();
      for (std::size_t k = 0; k < w / 2; ++k) {
        y[r * w + 2 * k] = row[4 * k];
        u[r * (w / 2) + k] = row[4 * k + 1];
        y[r * w + 2 * k + 1] = row[4 * k + 2];
        v[r * (w / 2) + k] = row[4 * k + 3];
      }
    }
    return;
  }
  // Deeper samples are copied as they are: AviSynth+ holds them in the
  // machine's order, Y4M's little-endian one (clip_format.h).
  const int sample_bytes = y4m::y4m_sample_bytes(header);
  for (const int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) {
    const bool luma = plane == PLANAR_Y;
    const std::size_t row_bytes =
        static_cast<std::size_t>(luma ? header.width : y4m::y4m_chroma_width(header)) * sample_bytes;
    const int rows = luma ? header.height : y4m::y4m_chroma_height(header);
    for (int r = 0; r < rows; ++r) {
      const BYTE* row = frame->GetReadPtr(plane) + static_cast<std::ptrdiff_t>(r) * frame->GetPitch(plane);
      out = std::copy(row, row + row_bytes, out);
    }
  }
}

}  // namespace quillfen::avs2y4m
