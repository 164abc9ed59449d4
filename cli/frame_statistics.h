// What the filter did to a frame's chroma, measured on the Y4M planes before
// and after it, and the same figures gathered over a run.
#pragma once

#include <cstdint>
#include <optional>

#include "y4m/y4m_header.h"

namespace quillfen::cli {

// The change of one chroma plane, sample by sample, at its own resolution and
// in the codes of the stream's depth.
struct PlaneChange {
  std::int64_t samples = 0;
  std::int64_t absolute_sum = 0;  // sum of |after - before|
  std::int64_t signed_sum = 0;    // sum of after - before
  int largest = 0;                // largest |after - before|

  double mean_absolute() const { return samples ? static_cast<double>(absolute_sum) / samples : 0.0; }
  double mean_shift() const { return samples ? static_cast<double>(signed_sum) / samples : 0.0; }
  void add(const PlaneChange& other);
};

struct FrameStatistics {
  PlaneChange u;
  PlaneChange v;
  // Unknown for frames filtered by a plugin module.
  std::optional<int> passes;
};

// `before` and `after` are y4m_frame_bytes(header) bytes of planes.
FrameStatistics measure_frame(const y4m::Y4mHeader& header, const std::uint8_t* before, const std::uint8_t* after);

// Totals over the frames of a run.
struct RunStatistics {
  PlaneChange u;
  PlaneChange v;
  std::int64_t frames = 0;
  std::int64_t passes = 0;
  bool passes_known = true;  // while every frame's passes are

  void add(const FrameStatistics& frame);
  std::optional<double> mean_passes() const {
    if (!passes_known) return std::nullopt;
    return frames ? static_cast<double>(passes) / frames : 0.0;
  }
};

}  // namespace quillfen::cli
