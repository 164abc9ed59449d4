// The progress line on stderr (frames, rate, time left), redrawn in place a
// few times a second. Drawn only when enabled: the command enables it when
// stderr is a terminal and --quiet is not given.
#pragma once

#include <chrono>

namespace quillfen::cli {

class ProgressLine {
 public:
  // `total`: frames to be written, or -1 when the input's length is unknown
  // (a pipe), in which case no time left is shown. `program` leads the line.
  ProgressLine(bool enabled, long total, const char* program = "quillfen");

  void frame_written();
  // Ends the line, so that what is printed next starts on a line of its own.
  void finish();

 private:
  void draw();

  using Clock = std::chrono::steady_clock;
  const char* program_;
  bool enabled_;
  bool drawn_ = false;
  long drawn_frames_ = -1;
  long total_;
  long frames_ = 0;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace quillfen::cli
