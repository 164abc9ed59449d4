#include "cli/frame_pipeline.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "cli/command_error.h"
#include "y4m/frame_memory.h"
#include "y4m/y4m_error.h"

namespace quillfen::cli {
namespace {

// Two frames per worker, and one more, so that the reader can read the
// next frame while every worker filters one and the writer writes one.
constexpr int kSlotsPerWorker = 2;
constexpr int kSpareSlots = 1;
constexpr std::size_t kBufferAlignment = 64;
// How often a writer waiting for a frame looks at the stop request.
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);
// How long the workers are waited for once told to stop. The command's own
// filter stops between passes; a plugin module's frame, or a pass of a huge
// frame, may take far longer, and is left to end with the process.
constexpr auto kStopGrace = std::chrono::milliseconds(500);

struct Slot {
  enum class State { kFree, kRead, kTaken, kDone, kFailed };
  State state = State::kFree;
  int frame = 0;
  // The frame's whole record: the reader reads the input planes into their
  // place in it, a worker filters them there, and the writer writes the
  // record. Allocated when first needed, and left uninitialised: a header
  // that claims huge frames costs only the bytes the input really delivers.
  y4m::FrameMemory record;
  // The input planes, kept for measuring the change when that is asked for.
  std::vector<std::uint8_t> input_kept;
  FrameStatistics statistics;
  std::string error;
};

}  // namespace

// Everything the reading and filtering threads touch; each holds its own
// reference, so a reader left blocked on its input, or a worker left inside
// a frame, never touches freed memory.
struct PipelineShared {
  PipelineShared(std::shared_ptr<y4m::Y4mReader> reader_, std::size_t record_bytes_,
                 std::vector<std::unique_ptr<FrameWorker>> workers_)
      : reader(std::move(reader_)),
        record_bytes(record_bytes_),
        workers(std::move(workers_)),
        slots(kSlotsPerWorker * workers.size() + kSpareSlots) {}

  std::shared_ptr<y4m::Y4mReader> reader;
  const std::size_t record_bytes;
  // One per filtering thread, each let go by its thread once it has
  // filtered its last frame.
  std::vector<std::unique_ptr<FrameWorker>> workers;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Slot> slots;
  long read_count = 0;   // sequence numbers read into slots so far
  long taken_count = 0;  // of those, taken by workers
  long end = -1;         // sequence number at which the input ended; -1 while not yet
  std::string end_error;  // why it ended, when it was not the input's clean end
  bool stopping = false;
  int workers_running = 0;  // filtering threads started and not yet done
  bool abandoned = false;   // the workers still running were not waited for

  Slot& slot(long sequence) { return slots[static_cast<std::size_t>(sequence) % slots.size()]; }
  bool ended_before(long sequence) const { return end >= 0 && sequence >= end; }
};

namespace {

std::uint8_t* planes_of(const Slot& slot) { return slot.record.get() + y4m::Y4mWriter::kRecordPlanesOffset; }

std::uint8_t* planes_buffer(Slot& slot, std::size_t record_bytes) {
  if (!slot.record) slot.record = y4m::allocate_frame_memory(record_bytes, kBufferAlignment);
  return planes_of(slot);
}

void read_frames(const std::shared_ptr<PipelineShared>& shared, bool measured, int first_frame, int last_frame) {
  y4m::Y4mReader& reader = *shared->reader;
  long sequence = 0;
  try {
    while (reader.frames_passed() < first_frame) {
      if (!reader.skip_frame())
        throw CommandError("quillfen: --frames starts at frame " + std::to_string(first_frame) +
                           ", but the input has only " + std::to_string(reader.frames_passed()) + " frames");
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) return;
    }
    for (;; ++sequence) {
      const long frame = first_frame + sequence;
      Slot& slot = shared->slot(sequence);
      {
        std::unique_lock lock(shared->mutex);
        shared->changed.wait(lock, [&] { return shared->stopping || slot.state == Slot::State::kFree; });
        if (shared->stopping) return;
        if (frame > last_frame) break;
      }
      // A free slot belongs to the reader until it is marked read.
      std::uint8_t* planes = planes_buffer(slot, shared->record_bytes);
      if (!reader.read_frame(planes)) break;
      if (measured) slot.input_kept.assign(planes, planes + reader.frame_bytes());
      std::lock_guard lock(shared->mutex);
      slot.frame = static_cast<int>(frame);
      slot.state = Slot::State::kRead;
      shared->read_count = sequence + 1;
      shared->changed.notify_all();
    }
    std::lock_guard lock(shared->mutex);
    shared->end = sequence;
  } catch (...) {
    const std::string line = current_exception_line();
    std::lock_guard lock(shared->mutex);
    shared->end = sequence;
    shared->end_error = line;
  }
  shared->changed.notify_all();
}

void filter_frames(const std::shared_ptr<PipelineShared>& shared, std::size_t worker_index) {
  // Only this thread lets its worker go, so it stays while the loop runs.
  FrameWorker& worker = *shared->workers[worker_index];
  for (;;) {
    long sequence;
    {
      std::unique_lock lock(shared->mutex);
      shared->changed.wait(lock, [&] {
        return shared->stopping || shared->taken_count < shared->read_count ||
               shared->ended_before(shared->taken_count);
      });
      if (shared->stopping || shared->taken_count >= shared->read_count) break;
      sequence = shared->taken_count++;
      shared->slot(sequence).state = Slot::State::kTaken;
    }
    Slot& slot = shared->slot(sequence);
    Slot::State outcome = Slot::State::kDone;
    try {
      slot.statistics.passes = worker.filter(slot.frame, planes_of(slot));
    } catch (...) {
      slot.error = current_exception_line();
      outcome = Slot::State::kFailed;
    }
    std::lock_guard lock(shared->mutex);
    slot.state = outcome;
    shared->changed.notify_all();
  }
  std::unique_ptr<FrameWorker> done;
  {
    std::unique_lock lock(shared->mutex);
    // Not waited for, the worker stays as it is until the process ends.
    if (shared->abandoned) shared->changed.wait(lock, [] { return false; });
    done = std::move(shared->workers[worker_index]);
  }
  // The worker goes here, while other workers may still be filtering,
  // rather than after the last frame.
  done.reset();
  std::lock_guard lock(shared->mutex);
  --shared->workers_running;
  shared->changed.notify_all();
}

}  // namespace

FramePipeline::FramePipeline(std::shared_ptr<y4m::Y4mReader> reader, y4m::Y4mWriter& writer,
                             std::vector<std::unique_ptr<FrameWorker>> workers, int first_frame, int last_frame,
                             bool measured)
    : writer_(writer) {
  const std::size_t worker_count = workers.size();
  shared_ = std::make_shared<PipelineShared>(std::move(reader), writer.record_bytes(), std::move(workers));
  try {
    worker_threads_.reserve(worker_count);
    reading_ = std::thread(read_frames, shared_, measured, first_frame, last_frame);
    for (std::size_t i = 0; i < worker_count; ++i) {
      std::lock_guard lock(shared_->mutex);
      worker_threads_.emplace_back(filter_frames, shared_, i);
      ++shared_->workers_running;
    }
  } catch (const std::system_error& error) {
    finish();
    throw CommandError(std::string("quillfen: cannot start the threads that read and filter frames: ") +
                       error.what());
  } catch (...) {
    finish();
    throw;
  }
}

FramePipeline::~FramePipeline() { finish(); }

PipelineOutcome FramePipeline::write_frames(const std::atomic<bool>& stop, ProgressLine& progress,
                                            const FrameMeasuredCallback& frame_measured) {
  PipelineShared* shared = shared_.get();
  PipelineOutcome outcome;
  std::string failure;
  for (long sequence = 0;; ++sequence) {
    Slot& slot = shared->slot(sequence);
    {
      std::unique_lock lock(shared->mutex);
      const auto ready = [&] {
        return slot.state == Slot::State::kDone || slot.state == Slot::State::kFailed ||
               shared->ended_before(sequence);
      };
      while (!ready() && !stop.load()) shared->changed.wait_for(lock, kStopPollInterval);
      if (stop.load()) {
        outcome.end = PipelineOutcome::End::kInterrupted;
        break;
      }
      if (shared->ended_before(sequence)) {
        failure = shared->end_error;
        break;
      }
      if (slot.state == Slot::State::kFailed) {
        failure = slot.error;
        break;
      }
    }
    try {
      writer_.start_record(slot.record.get());
      writer_.write_record(slot.record.get());
    } catch (const y4m::Y4mOutputClosed&) {
      outcome.end = PipelineOutcome::End::kOutputClosed;
      break;
    } catch (...) {
      failure = current_exception_line();
      break;
    }
    ++outcome.frames_written;
    progress.frame_written();
    if (frame_measured) {
      try {
        const std::optional<int> passes = slot.statistics.passes;
        slot.statistics = measure_frame(shared->reader->header(), slot.input_kept.data(), planes_of(slot));
        slot.statistics.passes = passes;
        frame_measured(slot.frame, slot.statistics);
      } catch (...) {
        failure = current_exception_line();
        break;
      }
    }
    std::lock_guard lock(shared->mutex);
    slot.state = Slot::State::kFree;
    shared->changed.notify_all();
  }
  finish();
  if (!failure.empty()) throw CommandError(failure);
  return outcome;
}

void FramePipeline::finish() {
  if (finished_) return;
  finished_ = true;
  bool reader_done;
  bool workers_done;
  {
    std::unique_lock lock(shared_->mutex);
    reader_done = shared_->end >= 0;
    shared_->stopping = true;
    for (const std::unique_ptr<FrameWorker>& worker : shared_->workers)
      if (worker) worker->stop();
    shared_->changed.notify_all();
    workers_done =
        shared_->changed.wait_for(lock, kStopGrace, [&] { return shared_->workers_running == 0; });
    shared_->abandoned = !workers_done;
  }
  for (std::thread& worker : worker_threads_) workers_done ? worker.join() : worker.detach();
  // A reader still running may be blocked on a pipe that nothing writes
  // to: it is left to finish or to end with the process.
  if (!reading_.joinable()) return;
  if (reader_done)
    reading_.join();
  else
    reading_.detach();
}

}  // namespace quillfen::cli
