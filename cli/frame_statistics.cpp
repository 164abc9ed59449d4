#include "cli/frame_statistics.h"

#include <algorithm>
#include <cstdlib>

namespace quillfen::cli {
namespace {

// The sample at index i of a plane of one- or two-byte (little-endian) samples.
template <int kBytes>
int sample_at(const std::uint8_t* plane, std::size_t i) {
  if constexpr (kBytes == 1) return plane[i];
  return plane[2 * i] | plane[2 * i + 1] << 8;
}

template <int kBytes>
PlaneChange measure_plane(const std::uint8_t* before, const std::uint8_t* after, std::size_t samples) {
  PlaneChange change;
  change.samples = static_cast<std::int64_t>(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    const int difference = sample_at<kBytes>(after, i) - sample_at<kBytes>(before, i);
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

FrameStatistics measure_frame(const y4m::Y4mHeader& header, const std::uint8_t* before, const std::uint8_t* after) {
  const std::size_t bytes = static_cast<std::size_t>(y4m::y4m_sample_bytes(header));
  const std::size_t luma = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height) * bytes;
  const std::size_t chroma = (y4m_frame_bytes(header) - luma) / 2;
  const auto measure = bytes == 1 ? measure_plane<1> : measure_plane<2>;
  FrameStatistics statistics;
  statistics.u = measure(before + luma, after + luma, chroma / bytes);
  statistics.v = measure(before + luma + chroma, after + luma + chroma, chroma / bytes);
  return statistics;
}

void RunStatistics::add(const FrameStatistics& frame) {
  u.add(frame.u);
  v.add(frame.v);
  ++frames;
  passes_known = passes_known && frame.passes.has_value();
  passes += frame.passes.value_or(0);
}

}  // namespace quillfen::cli
