#include "contrib/avs2y4m/y4m_output.h"

#include <algorithm>

#include "cli/command_error.h"
#include "y4m/y4m_header.h"

namespace quillfen::avs2y4m {
namespace {

using cli::CommandError;

constexpr char kFrameLine[] = "FRAME\n";
constexpr std::size_t kFrameLineBytes = sizeof kFrameLine - 1;

// AviSynth+'s own name of the clip's format (YV24, YUV420P16, RGB32, ...).
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

std::string y4m_stream_header(const PClip& clip, IScriptEnvironment* env) {
  const VideoInfo& vi = clip->GetVideoInfo();
  if (!vi.HasVideo()) throw CommandError("avs2y4m: the script's clip has no video");
  if (!vi.IsYUY2() && !vi.IsYV12())
    throw CommandError("avs2y4m: the script's clip is " + format_name(clip, env) +
                       "; Y4M is written from YUY2, YV12 or I420 only: end the script with ConvertToYUY2() or "
                       "ConvertToYV12(), after ConvertBits(8) for more than 8 bits");
  using namespace std::string_literals;
  y4m::Y4mHeader header;
  // AviSynth places 4:2:0 chroma the way MPEG-2 does.
  header.tags = {"W"s + std::to_string(vi.width), "H"s + std::to_string(vi.height),
                 "F"s + std::to_string(vi.fps_numerator) + ":" + std::to_string(vi.fps_denominator),
                 "I"s + interlace_tag(vi), vi.IsYUY2() ? "C422" : "C420mpeg2"};
  return y4m::format_y4m_header(header);
}

void build_y4m_record(const VideoInfo& vi, const PVideoFrame& frame, std::vector<BYTE>& record) {
  const std::size_t w = static_cast<std::size_t>(vi.width), h = static_cast<std::size_t>(vi.height);
  record.resize(kFrameLineBytes + (vi.IsYUY2() ? 2 * w * h : w * h + w * h / 2));
  std::copy(kFrameLine, kFrameLine + kFrameLineBytes, record.begin());
  BYTE* out = record.data() + kFrameLineBytes;
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
  for (const int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) {
    const int row_bytes = frame->GetRowSize(plane);
    for (int r = 0; r < frame->GetHeight(plane); ++r) {
      const BYTE* row = frame->GetReadPtr(plane) + static_cast<std::ptrdiff_t>(r) * frame->GetPitch(plane);
      out = std::copy(row, row + row_bytes, out);
    }
  }
}

}  // namespace quillfen::avs2y4m
