#include "y4m/y4m_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "system/files.h"
#include "y4m/y4m_error.h"

namespace quillfen::y4m {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::string_view kFrameTag = "FRAME";
// "YUV4MPEG2" and the separator after it.
constexpr std::size_t kSignatureCheckBytes = 10;
// Enough for the frame headers that writers produce; longer ones are read again whole.
constexpr std::size_t kShortHeaderBytes = 256;

[[noreturn]] void throw_read_error() {
  throw Y4mError(std::string("cannot read the input: ") + std::strerror(errno));
}

bool is_frame_header(std::string_view line) {
  return line.substr(0, kFrameTag.size()) == kFrameTag &&
         (line.size() == kFrameTag.size() || line[kFrameTag.size()] == ' ');
}

}  // namespace

Y4mReader::Y4mReader(int fd, Y4mSizeCheck check) : fd_(fd), buffer_(kBufferBytes) {
  system::FileStatus status;
  seekable_ = system::file_status(fd_, status) && status.regular && system::file_position(fd_) >= 0;

  // The signature is checked as soon as its bytes are in, so that a file of
  // another kind is named as such rather than as an overlong header.
  while (end_ < kSignatureCheckBytes && fill() != 0) {
  }
  if (end_ == 0) throw Y4mError("the input is empty (no Y4M stream header)");
  const std::string_view start(buffer_.data(), std::min(end_, kSignatureCheckBytes));
  check_y4m_signature(start);

  std::string line;
  read_line(line, "stream header");
  header_ = parse_y4m_header(line, check);
  frame_bytes_ = y4m_frame_bytes(header_);
}

// Reads more input into the buffer after what it holds; returns the bytes
// added, 0 at the end of the input.
std::size_t Y4mReader::fill() {
  if (begin_ == end_) begin_ = end_ = 0;
  if (end_ == buffer_.size()) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const long long got = system::read_some(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got >= 0) {
      end_ += static_cast<std::size_t>(got);
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) throw_read_error();
  }
}

// One line without its newline; false when the input ends before its first
// byte.
bool Y4mReader::read_line(std::string& line, const char* what) {
  line.clear();
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const char* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    const std::size_t length = newline ? static_cast<std::size_t>(newline - start) : end_ - begin_;
    if (line.size() + length > kY4mMaxHeaderBytes)
      throw Y4mError(std::string("Y4M input: ") + what + " is longer than 64 KiB");
    line.append(start, length);
    if (newline) {
      begin_ += length + 1;
      return true;
    }
    begin_ = end_;
    if (fill() == 0) {
      if (line.empty()) return false;
      throw Y4mError(std::string("Y4M input: the input ends inside the ") + what);
    }
  }
}

bool Y4mReader::read_frame_header() {
  std::string line;
  if (!read_line(line, "frame header")) return false;
  if (!is_frame_header(line))
    throw Y4mError("Y4M input: frame " + std::to_string(frames_passed_) +
                   " does not start with a FRAME header");
  return true;
}

void Y4mReader::throw_truncated(std::size_t got) const {
  throw Y4mError("Y4M input: frame " + std::to_string(frames_passed_) + " is cut short (" +
                 std::to_string(got) + " of " + std::to_string(frame_bytes_) + " bytes)");
}

void Y4mReader::take(std::uint8_t* out, std::size_t count) {
  std::size_t got = std::min(count, end_ - begin_);
  std::memcpy(out, buffer_.data() + begin_, got);
  begin_ += got;
  // The rest goes straight from the input into place, past the buffer.
  while (got < count) {
    const long long n = system::read_some(fd_, out + got, count - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw_read_error();
    }
    if (n == 0) throw_truncated(got);
    got += static_cast<std::size_t>(n);
  }
}

void Y4mReader::skip_bytes(std::size_t count) {
  std::size_t skipped = std::min(count, end_ - begin_);
  begin_ += skipped;
  if (skipped == count) return;
  if (seekable_) {
    system::FileStatus status;
    const long long position = system::file_position(fd_);
    if (position < 0 || !system::file_status(fd_, status)) throw_read_error();
    const std::size_t left = static_cast<std::size_t>(status.size > position ? status.size - position : 0);
    if (left < count - skipped) throw_truncated(skipped + left);
    if (!system::move_position(fd_, static_cast<long long>(count - skipped))) throw_read_error();
    return;
  }
  while (skipped < count) {
    const std::size_t added = fill();
    if (added == 0) throw_truncated(skipped);
    const std::size_t used = std::min(count - skipped, end_ - begin_);
    begin_ += used;
    skipped += used;
  }
}

// Samples of 9 to 15 bits come in two bytes, whose high byte may not exceed
// the depth's top bits: only those bytes are looked at, until one does.
void check_y4m_sample_range(const Y4mHeader& header, const std::uint8_t* payload, int frame) {
  if (header.bits == 8 || header.bits == 16) return;
  const unsigned largest = (1u << header.bits) - 1;
  const unsigned largest_high_byte = largest >> 8;
  const std::size_t luma = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
  const std::size_t chroma = static_cast<std::size_t>(y4m_chroma_width(header)) *
                             static_cast<std::size_t>(y4m_chroma_height(header));
  const std::size_t samples = luma + 2 * chroma;
  unsigned high_bytes = 0;
  for (std::size_t i = 0; i < samples; ++i) high_bytes |= payload[2 * i + 1] > largest_high_byte;
  if (high_bytes == 0) return;
  for (std::size_t i = 0;; ++i) {
    const unsigned sample = payload[2 * i] | payload[2 * i + 1] << 8;
    if (sample <= largest) continue;
    const char plane = i < luma ? 'Y' : i < luma + chroma ? 'U' : 'V';
    throw Y4mError("Y4M input: frame " + std::to_string(frame) + ", plane " + plane + ": sample " +
                   std::to_string(sample) + " is above the " + std::to_string(header.bits) + "-bit range (0-" +
                   std::to_string(largest) + ")");
  }
}

bool Y4mReader::read_frame(std::uint8_t* payload) {
  if (!read_frame_header()) return false;
  take(payload, frame_bytes_);
  check_y4m_sample_range(header_, payload, frames_passed_);
  ++frames_passed_;
  return true;
}

bool Y4mReader::skip_frame() {
  if (!read_frame_header()) return false;
  skip_bytes(frame_bytes_);
  ++frames_passed_;
  return true;
}

bool Y4mReader::at_end() { return begin_ == end_ && fill() == 0; }

int Y4mReader::count_remaining_frames() const { return walk_whole_frames().count; }

bool Y4mReader::ends_after_whole_frames() const { return walk_whole_frames().to_the_end; }

Y4mReader::WholeFrames Y4mReader::walk_whole_frames() const {
  if (!seekable_) return {};
  system::FileStatus status;
  long long position = system::file_position(fd_);
  if (position < 0 || !system::file_status(fd_, status)) return {};
  position -= static_cast<long long>(end_ - begin_);

  // Each frame header is read where it starts, and the frame is counted
  // when the file holds all of its bytes; the count stops at the first
  // frame that is not whole.
  int count = 0;
  std::string head(kY4mMaxHeaderBytes + 1, '\0');
  while (count < INT_MAX) {
    long long got = system::read_at(fd_, head.data(), kShortHeaderBytes, position);
    if (got == static_cast<long long>(kShortHeaderBytes) &&
        std::memchr(head.data(), '\n', kShortHeaderBytes) == nullptr)
      got = system::read_at(fd_, head.data(), head.size(), position);
    if (got <= 0) break;
    const std::string_view view(head.data(), static_cast<std::size_t>(got));
    const std::size_t newline = view.find('\n');
    if (newline == std::string_view::npos || !is_frame_header(view.substr(0, newline))) break;
    const long long next = position + static_cast<long long>(newline + 1 + frame_bytes_);
    if (next > status.size) break;
    position = next;
    ++count;
  }
  return {count, position == status.size};
}

}  // namespace quillfen::y4m
