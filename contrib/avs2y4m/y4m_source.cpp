#include "contrib/avs2y4m/y4m_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen::avs2y4m {
namespace {

constexpr char kFrameLine[] = "FRAME\n";
constexpr std::size_t kFrameLineBytes = sizeof kFrameLine - 1;
// A stream that never ends its header line is not read without bound.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

// How to make a file this source reads, from any video ffmpeg reads.
constexpr char kMakeOne[] = "ffmpeg -i IN -pix_fmt yuv422p -f yuv4mpegpipe OUT.y4m";

[[noreturn]] void refuse(const std::string& path, const std::string& what) {
  throw std::runtime_error("Y4MSource: " + path + " " + what);
}

// Reads exactly `size` bytes at `offset`; false at the end of the file.
bool read_at(int fd, void* data, std::size_t size, off_t offset) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = pread(fd, bytes, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

struct Y4mFormat {
  int width = 0, height = 0;
  unsigned rate = 0, scale = 0;
  bool four_two_two = false;
  int image_type = 0;  // field order, as VideoInfo keeps it
  std::size_t header_bytes = 0;
  std::size_t frame_bytes = 0;
};

Y4mFormat parse_header(const std::string& path, const std::string& line) {
  std::istringstream tags(line);
  std::string tag;
  tags >> tag;
  if (tag != "YUV4MPEG2") refuse(path, std::string("is not a Y4M file; make one with ") + kMakeOne);
  Y4mFormat format;
  std::string chroma = "420";
  while (tags >> tag) {
    const std::string value = tag.substr(1);
    switch (tag[0]) {
      case 'W': format.width = std::atoi(value.c_str()); break;
      case 'H': format.height = std::atoi(value.c_str()); break;
      case 'F':
        if (std::sscanf(value.c_str(), "%u:%u", &format.rate, &format.scale) != 2) format.rate = 0;
        break;
      case 'I':
        format.image_type = value == "t" ? VideoInfo::IT_TFF : value == "b" ? VideoInfo::IT_BFF : 0;
        break;
      case 'C': chroma = value; break;
      default: break;  // aspect ratio and extensions say nothing about the frames' bytes
    }
  }
  if (format.width <= 0 || format.height <= 0 || format.rate == 0 || format.scale == 0)
    refuse(path, "has no valid size (W, H) or frame rate (F) in its header");
  format.four_two_two = chroma == "422";
  if (!format.four_two_two && chroma != "420" && chroma != "420jpeg" && chroma != "420mpeg2" &&
      chroma != "420paldv")
    refuse(path, "is C" + chroma + ", not 8-bit 4:2:2 (C422) or 4:2:0 (C420); convert it with " + kMakeOne);
  if (format.width % 2 != 0 || (!format.four_two_two && format.height % 2 != 0))
    refuse(path, "has an odd size, which AviSynth+ cannot hold in YUY2 or YV12; crop or pad it first");
  const std::size_t luma = static_cast<std::size_t>(format.width) * static_cast<std::size_t>(format.height);
  format.frame_bytes = luma + (format.four_two_two ? luma : luma / 2);
  format.header_bytes = line.size() + 1;
  return format;
}

// Frames are read on demand, at offsets known from the header: AviSynth+
// asks for them in any order and from several threads, and a clip can be
// far larger than memory.
class Y4mSource : public IClip {
 public:
  Y4mSource(int fd, const std::string& path, const Y4mFormat& format, int frames)
      : fd_(fd), path_(path), format_(format) {
    std::memset(&vi_, 0, sizeof vi_);
    vi_.width = format.width;
    vi_.height = format.height;
    vi_.fps_numerator = format.rate;
    vi_.fps_denominator = format.scale;
    vi_.num_frames = frames;
    vi_.pixel_type = format.four_two_two ? VideoInfo::CS_YUY2 : VideoInfo::CS_YV12;
    vi_.image_type = format.image_type;
  }
  ~Y4mSource() override { close(fd_); }

  PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override {
    n = n < 0 ? 0 : n >= vi_.num_frames ? vi_.num_frames - 1 : n;
    const std::size_t record = kFrameLineBytes + format_.frame_bytes;
    std::vector<BYTE> bytes(record);
    if (!read_at(fd_, bytes.data(), record, static_cast<off_t>(format_.header_bytes + n * record)) ||
        std::memcmp(bytes.data(), kFrameLine, kFrameLineBytes) != 0)
      env->ThrowError("Y4MSource: %s: frame %d cannot be read (the file changed, or its FRAME lines carry tags)",
                      path_.c_str(), n);
    const BYTE* planes = bytes.data() + kFrameLineBytes;
    const int w = vi_.width, h = vi_.height;
    PVideoFrame frame = env->NewVideoFrame(vi_);
    if (format_.four_two_two) {
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
        planes += static_cast<std::size_t>(widths[p]) * heights[p];
      }
    }
    return frame;
  }
  bool __stdcall GetParity(int) override { return (vi_.image_type & VideoInfo::IT_TFF) != 0; }
  void __stdcall GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  int __stdcall SetCacheHints(int, int) override { return 0; }
  const VideoInfo& __stdcall GetVideoInfo() override { return vi_; }

 private:
  int fd_;
  std::string path_;
  Y4mFormat format_;
  VideoInfo vi_;
};

IClip* open_source(const std::string& path) {
  // Not blocking, so that a pipe named here is refused rather than waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) refuse(path, std::string("cannot be opened: ") + std::strerror(errno));
  try {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
      refuse(path, "is not a file; AviSynth+ reads frames in any order, so write the Y4M to a file first");
    std::string header(kMaxHeaderBytes, '\0');
    const ssize_t got = pread(fd, header.data(), header.size(), 0);
    const std::size_t end = got > 0 ? header.find('\n') : std::string::npos;
    if (end == std::string::npos || end >= static_cast<std::size_t>(got))
      refuse(path, std::string("is not a Y4M file; make one with ") + kMakeOne);
    header.resize(end);
    const Y4mFormat format = parse_header(path, header);
    const std::size_t record = kFrameLineBytes + format.frame_bytes;
    const std::size_t data = static_cast<std::size_t>(status.st_size) - format.header_bytes;
    if (data % record != 0)
      refuse(path, "ends inside a frame, or its FRAME lines carry tags, which Y4MSource does not read");
    if (data == 0) refuse(path, "has no frames");
    return new Y4mSource(fd, path, format, static_cast<int>(data / record));
  } catch (...) {
    close(fd);
    throw;
  }
}

AVSValue __cdecl create_source(AVSValue args, void*, IScriptEnvironment* env) {
  try {
    return AVSValue(open_source(args[0].AsString("")));
  } catch (const std::exception& error) {
    env->ThrowError("%s", error.what());
  }
  return AVSValue();  // ThrowError does not return
}

}  // namespace

void add_y4m_source(IScriptEnvironment* env) { env->AddFunction(kY4mSourceName, "s", create_source, nullptr); }

}  // namespace quillfen::avs2y4m
