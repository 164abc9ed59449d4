#include "cli/frame_comparison.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "cli/command_error.h"
#include "cli/comparison_sheet.h"
#include "cli/frame_statistics.h"
#include "cli/frame_worker.h"
#include "cli/interlace_warning.h"
#include "cli/png_writer.h"
#include "cli/statistics_file.h"
#include "cli/stream_files.h"
#include "system/files.h"
#include "y4m/y4m_reader.h"

namespace quillfen::cli {
namespace {

CommandError frame_past_end(int frame, int input_frames) {
  return CommandError("quillfen: --compare asks for frame " + std::to_string(frame) + ", but the input has only " +
                      std::to_string(input_frames) + " frames");
}

PixelRect shown_part(const CommandOptions::Crop& crop, const y4m::Y4mHeader& header) {
  if (crop.width == 0) return {0, 0, header.width, header.height};
  if (static_cast<long>(crop.x) + crop.width > header.width || static_cast<long>(crop.y) + crop.height > header.height)
    throw CommandError("quillfen: --crop " + std::to_string(crop.x) + "," + std::to_string(crop.y) + "," +
                           std::to_string(crop.width) + "," + std::to_string(crop.height) +
                           " reaches outside the " + std::to_string(header.width) + "x" +
                           std::to_string(header.height) + " frame (see quillfen --help)",
                       kExitUsage);
  return {crop.x, crop.y, crop.width, crop.height};
}

std::string change_text(const char* plane, const PlaneChange& change) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: mean |change| %.4f, largest %d, mean shift %+.4f;", plane,
                change.mean_absolute(), change.largest, change.mean_shift());
  return text;
}

std::string caption(const CommandOptions& options, const FrameStatistics& figures, const PixelRect& shown,
                    const y4m::Y4mHeader& header) {
  std::string settings;
  for (const auto& [name, value] : options.filter_arguments) settings += " " + name + "=" + value;
  std::string text = "frame " + std::to_string(options.compare_frame) + " of " + options.input + ";" +
                     (settings.empty() ? " every argument at its default" : settings + ", others at their defaults") +
                     "; " + change_text("U", figures.u) + " " + change_text("V", figures.v) +
                     (figures.passes ? " passes " + std::to_string(*figures.passes) : "") + ".";
  // The figures count the clip's own codes; the pictures can show only
  // their top 8 bits.
  if (header.bits > 8)
    text += " Changes in " + std::to_string(header.bits) + "-bit codes, pictures from their top 8 bits.";
  if (shown.width != header.width || shown.height != header.height)
    text += " Shown: " + std::to_string(shown.width) + "x" + std::to_string(shown.height) + " at " +
            std::to_string(shown.x) + "," + std::to_string(shown.y) + ", enlarged " +
            std::to_string(sheet_enlargement(shown.width, shown.height)) + "x.";
  return text;
}

bool same_existing_file(const std::string& a, const std::string& b) {
  system::FileStatus a_status;
  system::FileStatus b_status;
  return system::file_status(a, a_status) && system::file_status(b, b_status) && a_status.same_file_as(b_status);
}

}  // namespace

int compare_frame(const CommandOptions& options) {
  const StreamFile input = open_input(options.input);
  y4m::Y4mReader reader(input.fd());
  const y4m::Y4mHeader& header = reader.header();
  const PixelRect shown = shown_part(options.crop, header);
  if (same_existing_file(options.input, options.output))
    throw CommandError("quillfen: OUTPUT \"" + options.output + "\" is the same file as INPUT; nothing was written");
  const int input_frames = reader.count_remaining_frames();
  const int frame = options.compare_frame;
  if (input_frames >= 0 && frame >= input_frames) throw frame_past_end(frame, input_frames);

  const std::unique_ptr<FrameWorker> worker = make_frame_worker(options, header, input_frames >= 0 ? input_frames : INT_MAX);
  warn_if_interlaced(header);
  while (reader.frames_passed() < frame)
    if (!reader.skip_frame()) throw frame_past_end(frame, reader.frames_passed());
  // Filtered in place; a vector's storage suits two-byte samples.
  std::vector<std::uint8_t> after(reader.frame_bytes());
  if (!reader.read_frame(after.data())) throw frame_past_end(frame, reader.frames_passed());
  const std::vector<std::uint8_t> before = after;
  const std::optional<int> passes = worker->filter(frame, after.data());
  FrameStatistics figures = measure_frame(header, before.data(), after.data());
  figures.passes = passes;

  std::optional<StatisticsFile> statistics;
  if (!options.stats_path.empty()) statistics.emplace(options.stats_path, input, options.output);
  try {
    write_png(options.output, draw_comparison_sheet(header, before.data(), after.data(), shown,
                                                    caption(options, figures, shown, header)));
  } catch (...) {
    if (statistics) statistics->remove();
    throw;
  }
  if (statistics) {
    statistics->frame(frame, figures);
    statistics->finish();
  }
  return kExitOk;
}

}  // namespace quillfen::cli
