#include "cli/frame_statistics.h"

#include <algorithm>
#include <cstdlib>

namespace quillfen::cli {
namespace {

PlaneChange measure_plane(const BYTE* before, const BYTE* after, std::size_t samples) {
  PlaneChange change;
  change.samples = static_cast<std::int64_t>(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    const int difference = static_cast<int>(after[i]) - static_cast<int>(before[i]);
    change.signed_sum += difference;
    change.absolute_sum += std::abs(difference);
    change.largest = std::max(change.largest, std::abs(difference));
  }
  return change;
}

}  // namespace

void PlaneChange::add(const PlaneChange& other) {
  samples += other.samples;
  absolute_sum += other.absolute_sum;
  signed_sum += other.signed_sum;
  largest = std::max(largest, other.largest);
}

FrameStatistics measure_frame(const y4m::Y4mHeader& header, const BYTE* before, const BYTE* after) {
  const std::size_t luma = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
  const std::size_t chroma = (y4m_frame_bytes(header) - luma) / 2;
  FrameStatistics statistics;
  statistics.u = measure_plane(before + luma, after + luma, chroma);
  statistics.v = measure_plane(before + luma + chroma, after + luma + chroma, chroma);
  return statistics;
}

void RunStatistics::add(const FrameStatistics& frame) {
  u.add(frame.u);
  v.add(frame.v);
  ++frames;
  passes += frame.passes;
}

}  // namespace quillfen::cli
