// A small program of the tests' own that runs scripts in AviSynth+, built
// against that host's own headers and library (never the project's host
// declarations): it registers a Y4M source of its own, evaluates a script
// and writes every frame of the result as Y4M, or checks that the script
// is refused with a given message.
//
//   avisynthplus_host write SCRIPT OUTPUT   frames of SCRIPT's clip to OUTPUT
//   avisynthplus_host refuse SCRIPT MESSAGE  SCRIPT fails with MESSAGE
//   avisynthplus_host compare A B LIMIT      same frames and luma, chroma at
//                                            most LIMIT apart (prints the most)
//
// Scripts may call QuillfenTestSource("file.y4m") for an 8-bit 4:2:2 (as
// YUY2) or 4:2:0 (as YV12) Y4M file. Exit status 0 on success, 1 otherwise,
// with one line on stderr.
#include <avisynth/avisynth.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

const AVS_Linkage* AVS_linkage = nullptr;

namespace {

struct Y4mClip {
  int width = 0, height = 0;
  unsigned rate = 25, scale = 1;
  bool four_two_two = true;
  std::vector<std::string> frames;  // the planes of each frame, Y then U then V
};

int header_number(const std::string& header, char tag, int fallback) {
  const std::size_t at = header.find(std::string(" ") + tag);
  return at == std::string::npos ? fallback : std::stoi(header.substr(at + 2));
}

Y4mClip read_y4m(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t header_end = bytes.find('\n');
  if (!in.good() && bytes.empty()) throw std::runtime_error("cannot read " + path);
  if (bytes.compare(0, 10, "YUV4MPEG2 ") != 0 || header_end == std::string::npos)
    throw std::runtime_error(path + " is not a Y4M file");
  const std::string header = bytes.substr(0, header_end) + " ";
  Y4mClip clip;
  clip.width = header_number(header, 'W', 0);
  clip.height = header_number(header, 'H', 0);
  const std::size_t rate_at = header.find(" F");
  if (rate_at != std::string::npos) std::sscanf(header.c_str() + rate_at + 2, "%u:%u", &clip.rate, &clip.scale);
  clip.four_two_two = header.find(" C422 ") != std::string::npos;
  if (!clip.four_two_two && header.find(" C420") == std::string::npos)
    throw std::runtime_error(path + ": only 8-bit 4:2:2 and 4:2:0 are read");
  const std::size_t luma = static_cast<std::size_t>(clip.width) * clip.height;
  const std::size_t frame_bytes = luma + (clip.four_two_two ? luma : luma / 2);
  std::size_t at = header_end + 1;
  while (at < bytes.size()) {
    const std::size_t line_end = bytes.find('\n', at);
    if (bytes.compare(at, 5, "FRAME") != 0 || line_end == std::string::npos || line_end + 1 + frame_bytes > bytes.size())
      throw std::runtime_error(path + ": broken frame");
    clip.frames.push_back(bytes.substr(line_end + 1, frame_bytes));
    at = line_end + 1 + frame_bytes;
  }
  return clip;
}

// Serves the frames of a Y4M file: 4:2:2 packed as YUY2, 4:2:0 as YV12.
class Y4mSource : public IClip {
 public:
  explicit Y4mSource(Y4mClip clip) : clip_(std::move(clip)) {
    std::memset(&vi_, 0, sizeof vi_);
    vi_.width = clip_.width;
    vi_.height = clip_.height;
    vi_.fps_numerator = clip_.rate;
    vi_.fps_denominator = clip_.scale;
    vi_.num_frames = static_cast<int>(clip_.frames.size());
    vi_.pixel_type = clip_.four_two_two ? VideoInfo::CS_YUY2 : VideoInfo::CS_YV12;
  }

  PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override {
    n = n < 0 ? 0 : n >= vi_.num_frames ? vi_.num_frames - 1 : n;
    const auto* planes = reinterpret_cast<const BYTE*>(clip_.frames[n].data());
    const int w = vi_.width, h = vi_.height;
    PVideoFrame frame = env->NewVideoFrame(vi_);
    if (clip_.four_two_two) {
      const BYTE* y = planes;
      const BYTE* u = y + w * h;
      const BYTE* v = u + w / 2 * h;
      BYTE* row = frame->GetWritePtr();
      for (int r = 0; r < h; ++r, row += frame->GetPitch())
        for (int k = 0; k < w / 2; ++k) {
          row[4 * k] = y[r * w + 2 * k];
          row[4 * k + 1] = u[r * (w / 2) + k];
          row[4 * k + 2] = y[r * w + 2 * k + 1];
          row[4 * k + 3] = v[r * (w / 2) + k];
        }
    } else {
      const int widths[3] = {w, w / 2, w / 2}, heights[3] = {h, h / 2, h / 2};
      const int ids[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
      for (int p = 0; p < 3; ++p) {
        env->BitBlt(frame->GetWritePtr(ids[p]), frame->GetPitch(ids[p]), planes, widths[p], widths[p], heights[p]);
        planes += widths[p] * heights[p];
      }
    }
    return frame;
  }
  bool __stdcall GetParity(int) override { return false; }
  void __stdcall GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  int __stdcall SetCacheHints(int, int) override { return 0; }
  const VideoInfo& __stdcall GetVideoInfo() override { return vi_; }

 private:
  Y4mClip clip_;
  VideoInfo vi_;
};

AVSValue __cdecl create_source(AVSValue args, void*, IScriptEnvironment* env) {
  try {
    return AVSValue(new Y4mSource(read_y4m(args[0].AsString(""))));
  } catch (const std::exception& error) {
    env->ThrowError("QuillfenTestSource: %s", error.what());
  }
  return AVSValue();  // ThrowError does not return
}

// Every frame of the clip, as Y4M planes.
void write_y4m(const PClip& clip, IScriptEnvironment* env, const std::string& path) {
  const VideoInfo& vi = clip->GetVideoInfo();
  if (!vi.IsYUY2() && !vi.IsYV12()) throw std::runtime_error("the script's clip is neither YUY2 nor YV12");
  std::ofstream out(path, std::ios::binary);
  out << "YUV4MPEG2 W" << vi.width << " H" << vi.height << " F" << vi.fps_numerator << ":" << vi.fps_denominator
      << " Ip A1:1 " << (vi.IsYUY2() ? "C422" : "C420mpeg2") << "\n";
  const int w = vi.width, h = vi.height;
  std::vector<char> planes;
  for (int n = 0; n < vi.num_frames; ++n) {
    const PVideoFrame frame = clip->GetFrame(n, env);
    planes.clear();
    if (vi.IsYUY2()) {
      planes.resize(static_cast<std::size_t>(2) * w * h);
      char* y = planes.data();
      char* u = y + w * h;
      char* v = u + w / 2 * h;
      for (int r = 0; r < h; ++r) {
        const BYTE* row = frame->GetReadPtr() + r * frame->GetPitch();
        for (int k = 0; k < w / 2; ++k) {
          y[r * w + 2 * k] = row[4 * k];
          u[r * (w / 2) + k] = row[4 * k + 1];
          y[r * w + 2 * k + 1] = row[4 * k + 2];
          v[r * (w / 2) + k] = row[4 * k + 3];
        }
      }
    } else {
      for (const int id : {PLANAR_Y, PLANAR_U, PLANAR_V})
        for (int r = 0; r < frame->GetHeight(id); ++r) {
          const BYTE* row = frame->GetReadPtr(id) + r * frame->GetPitch(id);
          planes.insert(planes.end(), row, row + frame->GetRowSize(id));
        }
    }
    out << "FRAME\n";
    out.write(planes.data(), static_cast<std::streamsize>(planes.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The host's message without the script position it appends on a new line.
std::string first_line(const char* message) {
  const std::string text = message ? message : "";
  return text.substr(0, text.find('\n'));
}

int compare(const std::string& first, const std::string& second, int limit) {
  const Y4mClip a = read_y4m(first), b = read_y4m(second);
  if (a.width != b.width || a.height != b.height || a.four_two_two != b.four_two_two ||
      a.frames.size() != b.frames.size()) {
    std::fprintf(stderr, "%s and %s differ in size, format or frame count\n", first.c_str(), second.c_str());
    return 1;
  }
  const std::size_t luma = static_cast<std::size_t>(a.width) * a.height;
  int largest = 0;
  for (std::size_t n = 0; n < a.frames.size(); ++n) {
    if (a.frames[n].compare(0, luma, b.frames[n], 0, luma) != 0) {
      std::fprintf(stderr, "the luma of frame %zu differs\n", n);
      return 1;
    }
    for (std::size_t i = luma; i < a.frames[n].size(); ++i) {
      const int difference = static_cast<unsigned char>(a.frames[n][i]) - static_cast<unsigned char>(b.frames[n][i]);
      largest = std::max(largest, difference < 0 ? -difference : difference);
    }
  }
  std::printf("same luma; largest chroma difference %d\n", largest);
  return largest <= limit ? 0 : 1;
}

int run(IScriptEnvironment* env, const std::string& mode, const std::string& script, const std::string& operand) {
  env->AddFunction("QuillfenTestSource", "s", create_source, nullptr);
  const AVSValue text(script.c_str());
  if (mode == "write") {
    const AVSValue result = env->Invoke("Eval", AVSValue(&text, 1));
    if (!result.IsClip()) throw std::runtime_error("the script gave no clip");
    write_y4m(result.AsClip(), env, operand);
    return 0;
  }
  try {
    env->Invoke("Eval", AVSValue(&text, 1));
  } catch (const AvisynthError& error) {
    if (first_line(error.msg) == operand) return 0;
    std::fprintf(stderr, "refused with \"%s\", expected \"%s\"\n", first_line(error.msg).c_str(), operand.c_str());
    return 1;
  }
  std::fprintf(stderr, "the script was not refused; expected \"%s\"\n", operand.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2], argv[3], std::stoi(argv[4]));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  if (argc != 4 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "refuse") != 0)) {
    std::fprintf(stderr, "usage: %s write SCRIPT OUTPUT | refuse SCRIPT MESSAGE | compare A B LIMIT\n", argv[0]);
    return 2;
  }
  IScriptEnvironment* env = CreateScriptEnvironment(AVISYNTH_INTERFACE_VERSION);
  if (!env) {
    std::fprintf(stderr, "AviSynth+ gave no script environment\n");
    return 1;
  }
  AVS_linkage = env->GetAVSLinkage();
  int status = 1;
  try {
    status = run(env, argv[1], argv[2], argv[3]);
  } catch (const AvisynthError& error) {
    std::fprintf(stderr, "%s\n", error.msg);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  env->DeleteScriptEnvironment();
  return status;
}
