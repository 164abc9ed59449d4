#include "cli/frame_pipeline.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <variant>

#include "cli/command_error.h"
#include "server/frame_layout.h"
#include "server/frame_memory.h"
#include "server/frame_pool.h"
#include "server/y4m_frame_conversion.h"
#include "server/y4m_video_info.h"
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

struct Slot {
  enum class State { kFree, kRead, kTaken, kDone, kFailed };
  State state = State::kFree;
  int frame = 0;
  // The frame's whole record: the reader reads the input planes into their
  // place in it, and the output's record is built over them once the frame
  // is filtered. Allocated when first needed, and left uninitialised: a
  // header that claims huge frames costs only the bytes the input really
  // delivers.
  server::FrameMemory record;
  // For workers that filter host frames: the frame made from the input
  // planes, released by the worker once filtered; the filtered frame,
  // released once its record is built.
  PVideoFrame source;
  PVideoFrame output;
  // The input planes, kept for measuring the change when that is asked for.
  std::vector<BYTE> input_kept;
  FrameStatistics statistics;
  std::string error;
};

}  // namespace

// Everything the reading thread touches; it holds its own reference, so
// a reader left blocked on its input never touches freed memory.
struct PipelineShared {
  PipelineShared(std::shared_ptr<y4m::Y4mReader> reader_, std::size_t record_bytes_, std::size_t slot_count,
                 bool host_frames, FrameConversion conversion)
      : reader(std::move(reader_)),
        record_bytes(record_bytes_),
        source_layout(host_frames ? server::frame_layout(server::y4m_video_info(reader->header(), 1), FRAME_ALIGN)
                                  : server::FrameLayout{}),
        reader_and_writer_convert(host_frames && conversion == FrameConversion::kByReaderAndWriter),
        slots(slot_count) {}

  std::shared_ptr<y4m::Y4mReader> reader;
  const std::size_t record_bytes;
  // The layout of the host frames made from the input planes, for workers
  // that filter host frames.
  const server::FrameLayout source_layout;
  // The reading and writing threads convert between planes and host
  // frames; otherwise they only move bytes.
  const bool reader_and_writer_convert;
  // The reader's own frames, declared before the slots that hold them so
  // that they are all released before the pool goes.
  server::FramePool source_frames;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Slot> slots;
  long read_count = 0;   // sequence numbers read into slots so far
  long taken_count = 0;  // of those, taken by workers
  long end = -1;         // sequence number at which the input ended; -1 while not yet
  std::string end_error;  // why it ended, when it was not the input's clean end
  bool stopping = false;

  Slot& slot(long sequence) { return slots[static_cast<std::size_t>(sequence) % slots.size()]; }
  bool ended_before(long sequence) const { return end >= 0 && sequence >= end; }
};

namespace {

BYTE* planes_of(const Slot& slot) { return slot.record.get() + y4m::Y4mWriter::kRecordPlanesOffset; }

BYTE* planes_buffer(Slot& slot, std::size_t record_bytes) {
  if (!slot.record) slot.record = server::allocate_frame_memory(record_bytes, kBufferAlignment);
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
      BYTE* planes = planes_buffer(slot, shared->record_bytes);
      if (!reader.read_frame(planes)) break;
      if (measured) slot.input_kept.assign(planes, planes + reader.frame_bytes());
      if (shared->reader_and_writer_convert) {
        slot.source = shared->source_frames.acquire(shared->source_layout);
        server::y4m_planes_to_frame(reader.header(), planes, slot.source);
      }
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

// Filters the frame in `slot` with a worker of either kind, leaving its
// output record whole unless the writing thread converts the output.
std::optional<int> filter_frame(PipelineShared& shared, Slot& slot, FrameWorker& worker,
                                server::FramePool& own_frames, const y4m::Y4mWriter& writer) {
  if (auto* direct = std::get_if<std::unique_ptr<DirectFilter>>(&worker)) {
    const int passes = (*direct)->filter(planes_of(slot));
    writer.start_record(slot.record.get());
    return passes;
  }
  FilterChain& chain = *std::get<std::unique_ptr<FilterChain>>(worker);
  const y4m::Y4mHeader& header = shared.reader->header();
  if (!shared.reader_and_writer_convert) {
    slot.source = own_frames.acquire(shared.source_layout);
    server::y4m_planes_to_frame(header, planes_of(slot), slot.source);
  }
  chain.filter(slot.frame, slot.source, slot.output);
  if (!shared.reader_and_writer_convert)
    server::frame_to_y4m_planes(header, slot.output, writer.start_record(slot.record.get()));
  return std::nullopt;
}

void filter_frames(PipelineShared& shared, FrameWorker& worker, const y4m::Y4mWriter& writer) {
  // The host frames this worker makes from input planes, when it converts them.
  server::FramePool own_frames;
  for (;;) {
    long sequence;
    {
      std::unique_lock lock(shared.mutex);
      shared.changed.wait(lock, [&] {
        return shared.stopping || shared.taken_count < shared.read_count ||
               shared.ended_before(shared.taken_count);
      });
      if (shared.stopping || shared.taken_count >= shared.read_count) break;
      sequence = shared.taken_count++;
      shared.slot(sequence).state = Slot::State::kTaken;
    }
    Slot& slot = shared.slot(sequence);
    Slot::State outcome = Slot::State::kDone;
    try {
      slot.statistics.passes = filter_frame(shared, slot, worker, own_frames, writer);
    } catch (...) {
      slot.error = current_exception_line();
      outcome = Slot::State::kFailed;
    }
    // Let go as soon as they are done with (or failed), so that the pools
    // they came from can hand their buffers out again.
    slot.source = nullptr;
    if (!shared.reader_and_writer_convert) slot.output = nullptr;
    std::lock_guard lock(shared.mutex);
    slot.state = outcome;
    shared.changed.notify_all();
  }
  // Holding none of its frames any more, the worker's filter goes here,
  // while other workers may still be filtering, rather than after the last
  // frame.
  if (!shared.reader_and_writer_convert) std::visit([](auto& filter) { filter.reset(); }, worker);
}

}  // namespace

FramePipeline::FramePipeline(std::shared_ptr<y4m::Y4mReader> reader, y4m::Y4mWriter& writer,
                             std::vector<FrameWorker> workers, FrameConversion conversion, int first_frame,
                             int last_frame, bool measured)
    : writer_(writer), workers_(std::move(workers)) {
  const bool host_frames = std::holds_alternative<std::unique_ptr<FilterChain>>(workers_.front());
  shared_ = std::make_shared<PipelineShared>(std::move(reader), writer.record_bytes(),
                                             kSlotsPerWorker * workers_.size() + kSpareSlots, host_frames, conversion);
  try {
    worker_threads_.reserve(workers_.size());
    reading_ = std::thread(read_frames, shared_, measured, first_frame, last_frame);
    for (FrameWorker& worker : workers_)
      worker_threads_.emplace_back(filter_frames, std::ref(*shared_), std::ref(worker), std::cref(writer));
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
      if (shared->reader_and_writer_convert) {
        server::frame_to_y4m_planes(shared->reader->header(), slot.output, writer_.start_record(slot.record.get()));
        slot.output = nullptr;
      }
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
  {
    std::lock_guard lock(shared_->mutex);
    reader_done = shared_->end >= 0;
    shared_->stopping = true;
  }
  shared_->changed.notify_all();
  for (std::thread& worker : worker_threads_) worker.join();
  // Filtered frames not written belong to the workers' chains, which go
  // before the reader may: they are let go here. Only the writing thread
  // and the workers touch them.
  for (Slot& slot : shared_->slots) slot.output = nullptr;
  // A reader still running may be blocked on a pipe that nothing writes
  // to: it is left to finish or to end with the process.
  if (!reading_.joinable()) return;
  if (reader_done)
    reading_.join();
  else
    reading_.detach();
}

}  // namespace quillfen::cli
