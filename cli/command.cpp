#include "cli/command.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "cli/clip_probe.h"
#include "cli/command_error.h"
#include "cli/frame_comparison.h"
#include "cli/frame_pipeline.h"
#include "cli/frame_worker.h"
#include "cli/interlace_warning.h"
#include "cli/piece_join.h"
#include "cli/plugin_worker.h"
#include "cli/progress_line.h"
#include "cli/statistics_file.h"
#include "cli/stream_files.h"
#include "filter/quillfen_version.h"
#include "system/files.h"
#include "system/process.h"
#include "system/stop_requests.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_reader.h"
#include "y4m/y4m_writer.h"

namespace quillfen::cli {
namespace {

// The command's version, and with --plugin the version of the module given.
int print_version(const CommandOptions& options) {
  std::printf("quillfen %s\n", kQuillfenVersion);
  if (options.plugin_path.empty()) return kExitOk;
  std::printf("plugin: %s (%s)\n", plugin_version(options.plugin_path).c_str(), options.plugin_path.c_str());
  return kExitOk;
}

CommandError range_past_end(int first_frame, int input_frames) {
  return CommandError("quillfen: --frames starts at frame " + std::to_string(first_frame) +
                      ", but the input has only " + std::to_string(input_frames) + " frames");
}

// Frames the run will write: --frames cut at the end of the input, or -1
// when the input's length is unknown until it ends.
long frames_to_write(const CommandOptions& options, int input_frames) {
  if (input_frames < 0) return -1;
  if (options.first_frame > 0 && options.first_frame >= input_frames)
    throw range_past_end(options.first_frame, input_frames);
  const long last = std::min<long>(options.last_frame, input_frames - 1L);
  return std::max(0L, last - options.first_frame + 1);
}

// From a pipe the input's length shows only as it is read: the frames
// before FIRST are passed over before the output exists, so that a range
// past the end leaves no output, as it does from a file.
void pass_over_leading_frames(y4m::Y4mReader& reader, int first_frame) {
  if (first_frame == 0) return;
  while (reader.frames_passed() < first_frame)
    if (!reader.skip_frame()) throw range_past_end(first_frame, reader.frames_passed());
  if (reader.at_end()) throw range_past_end(first_frame, reader.frames_passed());
}

int filter_stream(const CommandOptions& options, const std::string& input_path, const std::string& output_path) {
  const StreamFile input = open_input(input_path);
  auto reader = std::make_shared<y4m::Y4mReader>(input.fd());
  const int input_frames = reader->count_remaining_frames();
  const long to_write = frames_to_write(options, input_frames);

  const int threads = options.threads > 0 ? options.threads
                                          : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int workers = to_write >= 0 ? static_cast<int>(std::clamp<long>(to_write, 1, threads)) : threads;
  // Every worker's filter is built before the output is opened: arguments
  // the filter refuses leave no output file behind.
  std::vector<std::unique_ptr<FrameWorker>> filters;
  for (int i = 0; i < workers; ++i)
    filters.push_back(make_frame_worker(options, reader->header(), input_frames >= 0 ? input_frames : INT_MAX));
  if (input_frames < 0) pass_over_leading_frames(*reader, options.first_frame);
  warn_if_interlaced(reader->header());

  // Until here nothing is written, and a Ctrl-C ends the command at once,
  // also while it waits for a header that a pipe never sends. From here on
  // it stops between whole frames.
  const std::atomic<bool>& stop = system::catch_stop_requests();
  std::optional<StatisticsFile> statistics;
  if (!options.stats_path.empty()) statistics.emplace(options.stats_path, input, output_path);
  const StreamFile output = [&] {
    try {
      return open_output_to_empty(output_path, input);
    } catch (...) {
      if (statistics) statistics->remove();
      throw;
    }
  }();
  y4m::Y4mWriter writer(output.fd(), reader->header());
  // Figures on standard error take the place of the progress line.
  const bool figures_on_stderr = options.stats_path == "-";
  ProgressLine progress(!options.quiet && !figures_on_stderr && system::is_terminal(system::kStandardError), to_write);
  FrameMeasuredCallback measured;
  if (statistics)
    measured = [&](int frame, const FrameStatistics& figures) { statistics->frame(frame, figures); };
  PipelineOutcome outcome;
  try {
    // The first frames are read and filtered while an old output file is
    // emptied.
    FramePipeline pipeline(reader, writer, std::move(filters), options.first_frame, options.last_frame,
                           statistics.has_value());
    empty_output(output, output_path);
    writer.write_header();
    outcome = pipeline.write_frames(stop, progress, measured);
  } catch (const y4m::Y4mOutputClosed&) {
    outcome.end = PipelineOutcome::End::kOutputClosed;
  } catch (...) {
    progress.finish();
    throw;
  }
  progress.finish();
  if (statistics) statistics->finish();

  switch (outcome.end) {
    case PipelineOutcome::End::kInterrupted:
      throw CommandError("quillfen: interrupted; " + std::to_string(outcome.frames_written) +
                             " whole frames written",
                         kExitInterrupted);
    case PipelineOutcome::End::kOutputClosed:  // the reader has all it wanted
    case PipelineOutcome::End::kComplete:
      break;
  }
  return kExitOk;
}

}  // namespace

int run_command(const CommandOptions& options) {
  switch (options.mode) {
    case CommandOptions::Mode::kHelp:
      std::fputs(usage_text().c_str(), stdout);
      return kExitOk;
    case CommandOptions::Mode::kUsage:
      std::fputs((synopsis_text() + "Run quillfen --help for the options and the filter arguments.\n").c_str(),
                 stderr);
      return kExitUsage;
    case CommandOptions::Mode::kVersion:
      return print_version(options);
    case CommandOptions::Mode::kProbe:
      return probe_clip(options.input);
    case CommandOptions::Mode::kJoin:
      return join_pieces(options.output, options.pieces);
    case CommandOptions::Mode::kCompare:
      return compare_frame(options);
    case CommandOptions::Mode::kRun:
      break;
  }
  return filter_stream(options, options.input, options.output);
}

}  // namespace quillfen::cli
