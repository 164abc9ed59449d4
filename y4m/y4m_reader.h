// Reads a YUV4MPEG2 stream from a file descriptor: the stream header, then
// frames one after another. Works alike on files and pipes; on a seekable
// file it can also count the frames and skips by seeking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "y4m/y4m_header.h"

namespace quillfen::y4m {

// Throws Y4mError, naming frame number `frame`, the plane and the sample,
// when a sample of `payload` (a frame's planes) is above the range of the
// header's depth: a 16-bit container holding samples of fewer bits, wrongly
// tagged.
void check_y4m_sample_range(const Y4mHeader& header, const std::uint8_t* payload, int frame);

class Y4mReader {
 public:
  // Reads and checks the stream header; throws Y4mError when the input is
  // empty, not a Y4M stream, or of a format Quillfen does not take.
  // The descriptor stays the caller's.
  explicit Y4mReader(int fd, Y4mSizeCheck check = Y4mSizeCheck::kFilterable);

  const Y4mHeader& header() const { return header_; }
  std::size_t frame_bytes() const { return frame_bytes_; }

  // Reads the next frame's planes into `payload` (frame_bytes() bytes).
  // Returns false at the end of the stream; throws Y4mError on a bad frame
  // header, a frame cut short, or a sample above the range of the stream's
  // depth (a 16-bit container holding samples of fewer bits, wrongly tagged).
  bool read_frame(std::uint8_t* payload);
  // Passes over the next frame without keeping it; false at the end.
  bool skip_frame();

  // True when no byte of the input is left (it may wait for a pipe to say so).
  bool at_end();

  // Whole frames from the current position to the end of a seekable input,
  // the position left unchanged; -1 for a pipe or terminal.
  int count_remaining_frames() const;
  // Whether a seekable input holds nothing after its remaining whole frames:
  // no frame cut short, no stray bytes. True for a pipe or terminal, whose
  // end is not known before it is read.
  bool ends_after_whole_frames() const;

  // Frames read or skipped so far.
  int frames_passed() const { return frames_passed_; }

 private:
  std::size_t fill();
  bool read_line(std::string& line, const char* what);
  bool read_frame_header();
  void take(std::uint8_t* out, std::size_t count);
  void skip_bytes(std::size_t count);
  [[noreturn]] void throw_truncated(std::size_t got) const;
  struct WholeFrames {
    int count = -1;  // -1: the input cannot be walked (a pipe)
    bool to_the_end = true;
  };
  WholeFrames walk_whole_frames() const;

  int fd_;
  bool seekable_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Y4mHeader header_;
  std::size_t frame_bytes_ = 0;
  int frames_passed_ = 0;
};

}  // namespace quillfen::y4m
