// What one worker of the command filters frames with: a frame's Y4M planes
// in, the filtered planes in their place. The command's own filter
// (cli/direct_filter.h) filters every format; with --plugin the given
// module's filter (cli/plugin_worker.h) takes the formats the AviSynth 2.5
// interface carries (8-bit 4:2:2 and 4:2:0).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "cli/command_line.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

// Used by one thread at a time, but for stop(), which any thread may call.
class FrameWorker {
 public:
  virtual ~FrameWorker() = default;

  // Filters frame n, whose y4m_frame_bytes(header) bytes of planes (at an
  // even address) are at `planes`, in place: U and V are replaced, Y is
  // left as it is. Returns the passes run where the worker knows them.
  // Throws CommandError with the line to print. Once stop() has been
  // called the frame may be left unfinished, its planes anything.
  virtual std::optional<int> filter(int n, std::uint8_t* planes) = 0;

  // Asks the frame being filtered, and every later one, to end as soon as
  // the worker can: between passes, where the filter is the command's own.
  virtual void stop() = 0;
};

// The worker for the stream, with the options' plugin and filter arguments;
// built whole, so that arguments the filter refuses are refused here.
// `num_frames` is the stream's length where known, else the largest int.
// Throws CommandError with the line to print.
std::unique_ptr<FrameWorker> make_frame_worker(const CommandOptions& options, const y4m::Y4mHeader& header,
                                               int num_frames);

}  // namespace quillfen::cli
