// The frame-parallel run: one reader thread reads frames in order into a
// fixed ring of slots, each worker filters whole frames through its own
// filter chain, and the calling thread writes the results in frame order.
// At most two frames per worker and one more are in flight, and the slots'
// buffers are reused, so memory stays flat however long the clip.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "cli/filter_chain.h"
#include "cli/frame_statistics.h"
#include "cli/progress_line.h"
#include "server/y4m_reader.h"
#include "server/y4m_writer.h"

namespace quillfen::cli {

// Told the figures of each frame written, with its number in the input.
using FrameMeasuredCallback = std::function<void(int frame, const FrameStatistics& statistics)>;

struct PipelineOutcome {
  enum class End { kComplete, kInterrupted, kOutputClosed };
  End end = End::kComplete;
  int frames_written = 0;
};

// Filters input frames first_frame to last_frame (inclusive, cut at the end
// of the input), one worker per chain. Frames before first_frame are passed
// over by the reader. Stops between whole frames once `stop` is set. Throws
// CommandError for the first failure in frame order, after every frame
// before it has been written. With `frame_measured` set, the change of each
// frame is measured once it is written, and the callback is called in
// frame order on the calling thread. The reader is
// shared with the reading thread, which a failure may leave blocked on its
// input until the process ends.
PipelineOutcome run_frame_pipeline(std::shared_ptr<server::Y4mReader> reader, server::Y4mWriter& writer,
                                   std::vector<std::unique_ptr<FilterChain>>& chains, int first_frame,
                                   int last_frame, const std::atomic<bool>& stop, ProgressLine& progress,
                                   const FrameMeasuredCallback& frame_measured = {});

}  // namespace quillfen::cli
