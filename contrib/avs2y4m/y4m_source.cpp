#include "contrib/avs2y4m/y4m_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "contrib/avs2y4m/clip_format.h"
#include "contrib/avs2y4m/frame_properties.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"

namespace quillfen::avs2y4m {
namespace {

constexpr char kFrameLine[] = "FRAME\n";
constexpr std::size_t kFrameLineBytes = sizeof kFrameLine - 1;

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

// A frame as the file holds it: its FRAME line, then its planes.
std::size_t record_bytes(const y4m::Y4mHeader& header) { return kFrameLineBytes + y4m::y4m_frame_bytes(header); }

// `line` is the header line with its newline, which tells a line that is
// only the start of the signature from the signature.
y4m::Y4mHeader parse_header(const std::string& path, std::string_view line) {
  try {
    y4m::check_y4m_signature(line);
  } catch (const y4m::Y4mError&) {
    refuse(path, std::string("is not a Y4M file; make one with ") + kMakeOne);
  }
  try {
    return y4m::parse_y4m_header(line.substr(0, line.size() - 1));
  } catch (const y4m::Y4mError& error) {
    refuse(path, std::string("has a header Y4MSource cannot read: ") + error.what());
  }
}

// Frames are read on demand, at offsets known from the header: AviSynth+
// asks for them in any order and from several threads, and a clip can be
// far larger than memory.
class Y4mSource : public IClip {
 public:
  Y4mSource(int fd, const std::string& path, const y4m::Y4mHeader& header, int pixel_type, std::size_t header_bytes,
            int frames, bool frame_properties)
      : fd_(fd),
        path_(path),
        header_(header),
        header_bytes_(header_bytes),
        record_bytes_(record_bytes(header)),
        properties_(properties_of_header(header)),
        frame_properties_(frame_properties) {
    std::memset(&vi_, 0, sizeof vi_);
    vi_.width = header.width;
    vi_.height = header.height;
    vi_.fps_numerator = header.fps_numerator;
    vi_.fps_denominator = header.fps_denominator;
    vi_.num_frames = frames;
    vi_.pixel_type = pixel_type;
    vi_.image_type = header.interlace == 't' ? VideoInfo::IT_TFF : header.interlace == 'b' ? VideoInfo::IT_BFF : 0;
  }
  ~Y4mSource() override { close(fd_); }

  PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override {
    n = n < 0 ? 0 : n >= vi_.num_frames ? vi_.num_frames - 1 : n;
    std::vector<BYTE> bytes(record_bytes_);
    if (!read_at(fd_, bytes.data(), record_bytes_, static_cast<off_t>(header_bytes_ + n * record_bytes_)) ||
        std::memcmp(bytes.data(), kFrameLine, kFrameLineBytes) != 0)
      env->ThrowError("Y4MSource: %s: frame %d cannot be read (the file changed, or its FRAME lines carry tags)",
                      path_.c_str(), n);
    const BYTE* planes = bytes.data() + kFrameLineBytes;
    // Filters index tables by sample value: none may be above the depth.
    try {
      y4m::check_y4m_sample_range(header_, planes, n);
    } catch (const y4m::Y4mError& error) {
      env->ThrowError("Y4MSource: %s: %s", path_.c_str(), error.what());
    }
    PVideoFrame frame = env->NewVideoFrame(vi_);
    if (vi_.IsYUY2())
      pack_yuy2(planes, frame);
    else
      copy_planes(planes, frame, env);
    if (frame_properties_) set_frame_properties(env, frame, properties_);
    return frame;
  }
  bool __stdcall GetParity(int) override { return (vi_.image_type & VideoInfo::IT_TFF) != 0; }
  void __stdcall GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  int __stdcall SetCacheHints(int, int) override { return 0; }
  const VideoInfo& __stdcall GetVideoInfo() override { return vi_; }

 private:
  void pack_yuy2(const BYTE* planes, PVideoFrame& frame) const {
    const int w = vi_.width, h = vi_.height;
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
  }

  // Deeper samples are copied as they are (clip_format.h).
  void copy_planes(const BYTE* planes, PVideoFrame& frame, IScriptEnvironment* env) const {
    const int sample_bytes = y4m::y4m_sample_bytes(header_);
    for (const int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) {
      const bool luma = plane == PLANAR_Y;
      const int row_bytes = (luma ? header_.width : y4m::y4m_chroma_width(header_)) * sample_bytes;
      const int rows = luma ? header_.height : y4m::y4m_chroma_height(header_);
      env->BitBlt(frame->GetWritePtr(plane), frame->GetPitch(plane), planes, row_bytes, row_bytes, rows);
      planes += static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(rows);
    }
  }

  int fd_;
  std::string path_;
  y4m::Y4mHeader header_;
  std::size_t header_bytes_;
  std::size_t record_bytes_;
  PictureProperties properties_;
  bool frame_properties_;
  VideoInfo vi_;
};

IClip* open_source(const std::string& path, bool frame_properties) {
  // Not blocking, so that a pipe named here is refused rather than waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) refuse(path, std::string("cannot be opened: ") + std::strerror(errno));
  try {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
      refuse(path, "is not a file; AviSynth+ reads frames in any order, so write the Y4M to a file first");
    // The header line, its newline included, within the longest y4m/ takes.
    std::string line(y4m::kY4mMaxHeaderBytes + 1, '\0');
    const ssize_t got = pread(fd, line.data(), line.size(), 0);
    const std::size_t end = got > 0 ? line.find('\n') : std::string::npos;
    if (end == std::string::npos || end >= static_cast<std::size_t>(got))
      refuse(path, std::string("is not a Y4M file; make one with ") + kMakeOne);
    line.resize(end + 1);
    const y4m::Y4mHeader header = parse_header(path, line);
    const std::optional<int> pixel_type = pixel_type_of({header.chroma, header.bits});
    if (!pixel_type)
      refuse(path, "is " + y4m::y4m_tag(header, 'C') + ": AviSynth+ has no " + std::to_string(header.bits) +
                       "-bit format; convert it to 10 bits with ffmpeg -i IN -pix_fmt yuv" +
                       y4m::y4m_tag(header, 'C').substr(1, 3) + "p10le -strict -1 -f yuv4mpegpipe OUT.y4m");
    const std::size_t record = record_bytes(header);
    const std::size_t data = static_cast<std::size_t>(status.st_size) - line.size();
    if (data % record != 0)
      refuse(path, "ends inside a frame, or its FRAME lines carry tags, which Y4MSource does not read");
    if (data == 0) refuse(path, "has no frames");
    if (data / record > static_cast<std::size_t>(INT_MAX))
      refuse(path, "has more frames than AviSynth+ counts (" + std::to_string(INT_MAX) + ")");
    return new Y4mSource(fd, path, header, *pixel_type, line.size(), static_cast<int>(data / record),
                         frame_properties);
  } catch (...) {
    close(fd);
    throw;
  }
}

AVSValue __cdecl create_source(AVSValue args, void*, IScriptEnvironment* env) {
  try {
    return AVSValue(open_source(args[0].AsString(""), has_frame_properties(env)));
  } catch (const std::exception& error) {
    env->ThrowError("%s", error.what());
  }
  return AVSValue();  // ThrowError does not return
}

}  // namespace

void add_y4m_source(IScriptEnvironment* env) { env->AddFunction(kY4mSourceName, "s", create_source, nullptr); }

}  // namespace quillfen::avs2y4m
