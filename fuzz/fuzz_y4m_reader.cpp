// Feeds arbitrary bytes to the Y4M reader as a stream, from a seekable file
// and from a pipe, reading the frames and passing over them. Bad input may
// only ever raise a Y4mError with a one-line message, and every way through
// the same bytes must agree: the same header, the same frames, the same
// number of whole frames (the count a seekable file gives beforehand
// included) and the same message at the end. Only reading looks at the
// samples: it alone may stop early, at a whole frame with a sample above the
// stream's depth.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"

namespace quillfen {

namespace {

using quillfen::y4m::Y4mError;
using quillfen::y4m::Y4mHeader;
using quillfen::y4m::Y4mReader;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_y4m_reader: %s\n", what);
  std::abort();
}

// A file descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) { check(fd_ >= 0, "cannot open a descriptor for the input"); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

void write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    check(n > 0, "cannot write the input to its descriptor");
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// The bytes as a regular file, positioned at its start.
Descriptor file_holding(const std::uint8_t* data, std::size_t size) {
  Descriptor file(memfd_create("fuzz_y4m_reader", 0));
  write_all(file.get(), data, size);
  check(lseek(file.get(), 0, SEEK_SET) == 0, "cannot rewind the input file");
  return file;
}

// The read end of a pipe that holds the bytes and whose writer has gone.
Descriptor pipe_holding(const std::uint8_t* data, std::size_t size) {
  int ends[2];
  check(pipe(ends) == 0, "cannot make a pipe");
  Descriptor read_end(ends[0]);
  {
    Descriptor write_end(ends[1]);
    if (static_cast<std::size_t>(fcntl(write_end.get(), F_GETPIPE_SZ)) < size)
      check(fcntl(write_end.get(), F_SETPIPE_SZ, static_cast<int>(size)) >= 0, "cannot grow the pipe");
    write_all(write_end.get(), data, size);
  }
  return read_end;
}

enum class Way { kRead, kSkip };

// What one way through a stream met.
struct Walk {
  bool opened = false;
  std::string header_line;
  std::size_t frame_bytes = 0;
  int counted_beforehand = -1;
  int whole_frames = 0;
  std::vector<std::vector<std::uint8_t>> frames;  // kept only when read
  std::string end;                        // the message, empty at a clean end
};

Walk walk(int fd, Way way, std::size_t input_size) {
  Walk walk;
  try {
    Y4mReader reader(fd);
    walk.opened = true;
    walk.header_line = format_y4m_header(reader.header());
    walk.frame_bytes = reader.frame_bytes();
    check(walk.frame_bytes == y4m_frame_bytes(reader.header()), "frame_bytes() disagrees with the header");
    walk.counted_beforehand = reader.count_remaining_frames();
    // A frame larger than the whole input cannot be whole: it is passed
    // over rather than given a buffer of the size its header claims.
    const bool read = way == Way::kRead && walk.frame_bytes <= input_size;
    std::vector<std::uint8_t> payload(read ? walk.frame_bytes : 0);
    while (read ? reader.read_frame(payload.data()) : reader.skip_frame()) {
      if (read) walk.frames.push_back(payload);
      check(reader.frames_passed() == ++walk.whole_frames, "frames_passed() miscounts");
    }
    check(reader.count_remaining_frames() <= 0, "frames remain counted after the end of the stream");
  } catch (const Y4mError& error) {
    walk.end = error.what();
    // The command shows this message as its one line of output.
    check(!walk.end.empty() && walk.end.find('\n') == std::string::npos && walk.end.size() < 512,
          "a reader message is not one short line");
  }
  return walk;
}

// A header written out must read back as the same header.
void check_header_round_trip(const std::string& line) {
  const Y4mHeader header = quillfen::y4m::parse_y4m_header(std::string_view(line).substr(0, line.size() - 1));
  check(format_y4m_header(header) == line, "a written header does not read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Walk read_file = walk(file_holding(data, size).get(), Way::kRead, size);
  const Walk skip_file = walk(file_holding(data, size).get(), Way::kSkip, size);
  const Walk read_pipe = walk(pipe_holding(data, size).get(), Way::kRead, size);
  const Walk skip_pipe = walk(pipe_holding(data, size).get(), Way::kSkip, size);

  const bool sample_refused =
      read_file.end.starts_with("Y4M input: frame " + std::to_string(read_file.whole_frames) + ", plane ");
  for (const Walk* other : {&skip_file, &read_pipe, &skip_pipe}) {
    check(other->opened == read_file.opened, "the header is accepted one way and refused another");
    check(other->header_line == read_file.header_line, "the header reads differently");
    check(other->frame_bytes == read_file.frame_bytes, "the frame size differs");
    const bool skips = other == &skip_file || other == &skip_pipe;
    if (skips && sample_refused) {
      check(other->whole_frames > read_file.whole_frames, "a refused sample is not in a whole frame");
      continue;
    }
    check(other->whole_frames == read_file.whole_frames, "the number of whole frames differs");
    check(other->end == read_file.end, "the stream ends differently");
  }
  check(skip_pipe.whole_frames == skip_file.whole_frames && skip_pipe.end == skip_file.end,
        "passing over frames ends differently in a file and in a pipe");
  check(read_pipe.frames == read_file.frames, "frames read from a pipe differ from those read from a file");
  check(!read_file.opened || skip_file.counted_beforehand == skip_file.whole_frames,
        "the count of a seekable file disagrees with the frames passed over");
  check(skip_file.counted_beforehand == read_file.counted_beforehand, "the count of a seekable file varies");
  check(read_pipe.counted_beforehand == -1, "a pipe claims a frame count");
  if (read_file.opened) check_header_round_trip(read_file.header_line);
  return 0;
}

}  // namespace quillfen
