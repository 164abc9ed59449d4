// The command's own filter, for every format: the host-free planar frame
// filter, straight over a frame's Y4M planes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/frame_worker.h"
#include "filter/frame_filter.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

class DirectFilter final : public FrameWorker {
 public:
  // Binds the text arguments as the plugin's function binds them. Throws
  // CommandError with the line to print, the filter's own message exactly,
  // as a usage error for arguments that do not fit the function or values
  // the filter refuses for this clip.
  DirectFilter(const y4m::Y4mHeader& header, const std::vector<std::pair<std::string, std::string>>& filter_arguments);
  DirectFilter(const DirectFilter&) = delete;
  DirectFilter& operator=(const DirectFilter&) = delete;

  // Returns the passes run, none for a frame that stop() ended first.
  // Throws std::bad_alloc.
  std::optional<int> filter(int n, std::uint8_t* planes) override;
  void stop() override { stopping_.store(true); }

 private:
  // The planes' offsets and pitches, in bytes.
  std::size_t chroma_offset_ = 0;
  std::size_t chroma_bytes_ = 0;
  std::ptrdiff_t luma_pitch_ = 0;
  std::ptrdiff_t chroma_pitch_ = 0;
  // The frame's source chroma, U then V: the filter writes its chroma
  // planes elsewhere than it reads them. Left uninitialised, so that a
  // header claiming huge frames costs only what frames really fill.
  std::unique_ptr<std::uint16_t[]> source_chroma_;
  // Looked at by the filter between passes; declared before it, so that it
  // goes after it.
  std::atomic<bool> stopping_{false};
  FrameFilter filter_;
};

}  // namespace quillfen::cli
