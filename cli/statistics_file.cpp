#include "cli/statistics_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/command_error.h"
#include "system/files.h"

namespace quillfen::cli {
namespace {

constexpr const char kStandardError[] = "-";

std::string figures(const PlaneChange& u, const PlaneChange& v) {
  char line[160];
  std::snprintf(line, sizeof line, "%.4f,%d,%.4f,%d,%.4f,%.4f", u.mean_absolute(), u.largest, v.mean_absolute(),
                v.largest, u.mean_shift(), v.mean_shift());
  return line;
}

// Also for files that do not exist yet, which the run is about to create.
bool names_the_same_file(const std::string& a, const std::string& b) {
  std::error_code error_a, error_b;
  const std::filesystem::path canonical_a = std::filesystem::weakly_canonical(a, error_a);
  if (!error_a && canonical_a == std::filesystem::weakly_canonical(b, error_b) && !error_b) return true;
  system::FileStatus a_status;
  system::FileStatus b_status;
  return system::file_status(a, a_status) && system::file_status(b, b_status) && a_status.same_file_as(b_status);
}

std::string header_line() {
  return "frame,u_mean_abs_change,u_max_abs_change,v_mean_abs_change,v_max_abs_change,u_mean_shift,v_mean_shift,"
         "passes";
}

// Passes a plugin module ran are not known: their field is left empty.
std::string frame_line(int n, const FrameStatistics& statistics) {
  return std::to_string(n) + "," + figures(statistics.u, statistics.v) + "," +
         (statistics.passes ? std::to_string(*statistics.passes) : "");
}

std::string summary_line(const RunStatistics& run) {
  char passes[32] = "";
  if (const auto mean = run.mean_passes()) std::snprintf(passes, sizeof passes, "%.2f", *mean);
  return "all," + figures(run.u, run.v) + "," + passes;
}

}  // namespace

StatisticsFile::StatisticsFile(const std::string& path, const StreamFile& input, const std::string& output_path)
    : path_(path) {
  if (path == kStandardError) {
    file_ = stderr;
  } else {
    if (names_the_same_file(path, output_path))
      throw CommandError("quillfen: --stats \"" + path + "\" is the same file as OUTPUT; nothing was written");
    const StreamFile opened = open_output(path, input, "--stats");
    file_ = system::stream_on_copy(opened.fd());
    if (!file_)
      throw CommandError("quillfen: cannot write --stats \"" + path + "\": " + std::strerror(errno));
  }
  write(header_line());
}

StatisticsFile::~StatisticsFile() {
  if (file_ && file_ != stderr) std::fclose(file_);
}

void StatisticsFile::frame(int n, const FrameStatistics& statistics) {
  run_.add(statistics);
  write(frame_line(n, statistics));
}

void StatisticsFile::finish() {
  write(summary_line(run_));
  if (std::fflush(file_) != 0)
    throw CommandError("quillfen: cannot write --stats \"" + path_ + "\": " + std::strerror(errno));
}

void StatisticsFile::remove() {
  if (file_ == stderr) return;
  std::fclose(file_);
  file_ = nullptr;
  system::remove_file(path_);
}

void StatisticsFile::write(const std::string& line) {
  if (std::fprintf(file_, "%s\n", line.c_str()) < 0 || std::fflush(file_) != 0)
    throw CommandError("quillfen: cannot write --stats \"" + path_ + "\": " + std::strerror(errno));
}

}  // namespace quillfen::cli
