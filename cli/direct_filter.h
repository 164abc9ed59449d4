// One worker's filter for the formats that host frames cannot carry (4:4:4,
// and every format of more than 8 bits): the host-free planar frame filter,
// straight over a frame's Y4M planes, without the plugin. Used by one thread
// at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filter/frame_filter.h"
#include "host/avisynth_interface.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

class DirectFilter {
 public:
  // Binds the text arguments as the plugin's function binds them. Throws
  // CommandError with the line to print, the filter's own message exactly,
  // as a usage error for arguments that do not fit the function or values
  // the filter refuses for this clip.
  DirectFilter(const y4m::Y4mHeader& header, const std::vector<std::pair<std::string, std::string>>& filter_arguments);
  DirectFilter(const DirectFilter&) = delete;
  DirectFilter& operator=(const DirectFilter&) = delete;

  // Filters the frame whose Y4M planes (y4m_frame_bytes(header) bytes, at an
  // even address) are at `planes`, in place: U and V are replaced, Y is left
  // as it is. Returns the passes run. Throws std::bad_alloc.
  int filter(BYTE* planes);

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
  FrameFilter filter_;
};

}  // namespace quillfen::cli
