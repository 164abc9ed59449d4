// The --stats file: a CSV header line, one line per frame written with the
// figures of its chroma change, and a summary line over the run.
#pragma once

#include <cstdio>
#include <string>

#include "cli/frame_statistics.h"
#include "cli/stream_files.h"

namespace quillfen::cli {

class StatisticsFile {
 public:
  // `path` "-" is standard error. Refuses (CommandError) a file that is the
  // open input, or that is `output_path`, before anything is written.
  StatisticsFile(const std::string& path, const StreamFile& input, const std::string& output_path);
  ~StatisticsFile();
  StatisticsFile(const StatisticsFile&) = delete;
  StatisticsFile& operator=(const StatisticsFile&) = delete;

  // The line of frame n, written at once. Throws CommandError when it cannot be written.
  void frame(int n, const FrameStatistics& statistics);
  // The summary line over every frame given to frame(); then flushed.
  void finish();
  // Deletes the file (not standard error): the run it was opened for wrote nothing.
  void remove();

 private:
  void write(const std::string& line);

  std::string path_;
  std::FILE* file_ = nullptr;
  RunStatistics run_;
};

}  // namespace quillfen::cli
