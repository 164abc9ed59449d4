#include "cli/progress_line.h"

#include <cstdio>
#include <string>

#include "system/files.h"

namespace quillfen::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

std::string clock_text(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

}  // namespace

ProgressLine::ProgressLine(bool enabled, long total, const char* program)
    : program_(program), enabled_(enabled), total_(total), start_(Clock::now()), last_draw_(start_) {}

void ProgressLine::frame_written() {
  ++frames_;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - last_draw_ < kRedrawInterval && frames_ != total_) return;
  last_draw_ = now;
  draw();
}

void ProgressLine::draw() {
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double rate = elapsed > 0 ? static_cast<double>(frames_) / elapsed : 0;
  char text[128];
  if (total_ >= 0)
    std::snprintf(text, sizeof text, "\r%s: %ld/%ld frames, %.2f fps", program_, frames_, total_, rate);
  else
    std::snprintf(text, sizeof text, "\r%s: %ld frames, %.2f fps", program_, frames_, rate);
  std::string line = text;
  if (total_ >= 0 && rate > 0) {
    line += ", ETA ";
    line += clock_text(static_cast<double>(total_ - frames_) / rate);
  }
  line += "\x1b[K";  // clears what a longer earlier line left
  // One write, so that the line is never torn by another writer.
  (void)system::write_some(system::kStandardError, line.data(), line.size());
  drawn_ = true;
  drawn_frames_ = frames_;
}

void ProgressLine::finish() {
  if (!drawn_) return;
  if (drawn_frames_ != frames_) draw();
  (void)system::write_some(system::kStandardError, "\n", 1);
  drawn_ = false;
}

}  // namespace quillfen::cli
