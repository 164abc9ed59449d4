// The frame-parallel run: one reader thread reads frames' Y4M records in
// order into a fixed ring of slots, each worker filters the planes of whole
// frames in place (cli/frame_worker.h), and the calling thread writes the
// records in frame order.
// At most two frames per worker and one more are in flight, and the slots'
// buffers are reused, so memory stays flat however long the clip.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "cli/frame_statistics.h"
#include "cli/frame_worker.h"
#include "cli/progress_line.h"
#include "y4m/y4m_reader.h"
#include "y4m/y4m_writer.h"

namespace quillfen::cli {

// Told the figures of each frame written, with its number in the input.
using FrameMeasuredCallback = std::function<void(int frame, const FrameStatistics& statistics)>;

struct PipelineOutcome {
  enum class End { kComplete, kInterrupted, kOutputClosed };
  End end = End::kComplete;
  int frames_written = 0;
};

struct PipelineShared;

class FramePipeline {
 public:
  // Starts reading input frames first_frame to last_frame (inclusive, cut
  // at the end of the input) and filtering them, one thread per worker, so
  // that the first frames are on their way while the caller prepares the
  // output. Frames before first_frame are passed over by the reader. With
  // `measured`, the input planes of each frame are kept for measuring its
  // change. The pipeline takes the workers; the writer must outlive it and
  // writes nothing before write_frames. The reader is shared with the
  // reading thread, which a failure may leave blocked on its input until the
  // process ends. Throws CommandError, with every thread that started
  // stopped, when a thread cannot be started.
  FramePipeline(std::shared_ptr<y4m::Y4mReader> reader, y4m::Y4mWriter& writer,
                std::vector<std::unique_ptr<FrameWorker>> workers, int first_frame, int last_frame, bool measured);
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;
  // Stops the workers (FrameWorker::stop) and waits for them a moment: a
  // worker still inside a frame then is left to end with the process.
  ~FramePipeline();

  // Writes the filtered frames in frame order, once. Stops between whole
  // frames once `stop` is set (looked at every 100 ms while waiting for a
  // frame), and the workers give up the frames they filter. Throws CommandError for the first failure in
  // frame order, after every frame before it has been written. With
  // `frame_measured` set (and the pipeline made `measured`), the change of
  // each frame is measured once it is written, and the callback is called
  // in frame order on the calling thread.
  PipelineOutcome write_frames(const std::atomic<bool>& stop, ProgressLine& progress,
                               const FrameMeasuredCallback& frame_measured = {});

 private:
  void finish();

  std::shared_ptr<PipelineShared> shared_;
  y4m::Y4mWriter& writer_;
  std::thread reading_;
  std::vector<std::thread> worker_threads_;
  bool finished_ = false;
};

}  // namespace quillfen::cli
