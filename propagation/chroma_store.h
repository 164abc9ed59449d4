// The end of one centre's work, shared by every pass kernel so that all of
// them store the same samples: the weighted average of the samples' chroma,
// the sample it is stored as, and the change it makes. Written once over
// the sample type: bytes for 8-bit clips, std::uint16_t codes for deeper
// ones.
//
// The helpers are forced inline and use only compiler built-ins: the
// vector kernels are compiled with wider instruction sets, and an
// out-of-line copy emitted there could be the one the linker keeps for
// every caller, on a CPU that lacks those instructions.
#pragma once

#include <cstdint>
#include <limits>

#include "propagation/scalar_lanes.h"

namespace quillfen {

// The largest value a sample of the type holds: 255 for bytes, 65535 for
// wide samples, whatever the clip's depth, so that a code above the depth's
// range is still bounded and stored like any other.
template <class Sample>
inline constexpr int kLargestSample = std::numeric_limits<Sample>::max();

// The stored value of a new chroma value, for every lane at once (any
// LaneArithmetic). An
// average lies within what it averages, so the value is first bounded by
// the smallest (`low`) and the largest (`high`) chroma among the samples
// that were averaged: the linear form's negative weights can carry it far
// beyond them near a luma edge. The bounds are samples, so this also keeps
// it within the sample type's range. It is then rounded to the nearest
// whole number, halves up, so that pass after pass the stored values do
// not drift. The split
// into whole and fraction is exact, which floor(value + 0.5) is not for
// the double just below 0.5.
template <class Lanes>
[[gnu::always_inline]] inline typename Lanes::D bounded_chroma(typename Lanes::D value, typename Lanes::D low,
                                                               typename Lanes::D high) {
  using D = typename Lanes::D;
  const D bounded = Lanes::min(Lanes::max(value, low), high);
  const D whole = Lanes::truncate(bounded);  // bounded is not negative
  return Lanes::add(whole, Lanes::at_least(Lanes::sub(bounded, whole), Lanes::set1(0.5)));
}

// The smallest and largest U and V among the samples of one centre,
// duplicates included.
template <class Sample>
struct ChromaRange {
  int low_u = kLargestSample<Sample>, high_u = 0, low_v = kLargestSample<Sample>, high_v = 0;

  [[gnu::always_inline]] void include(int u, int v) {
    low_u = u < low_u ? u : low_u;
    high_u = u > high_u ? u : high_u;
    low_v = v < low_v ? v : low_v;
    high_v = v > high_v ? v : high_v;
  }
};

// The sample a new chroma value is stored as. A value that is not finite
// (every weight was 0, so nothing was averaged) leaves the centre's chroma
// as it is.
template <class Sample>
[[gnu::always_inline]] inline Sample stored_chroma(double value, int low, int high, Sample old) {
  if (!__builtin_isfinite(value)) return old;
  return static_cast<Sample>(bounded_chroma<ScalarLanes>(value, low, high));
}

template <class Sample>
struct ChromaResult {
  Sample u;
  Sample v;
};

// New chroma of a centre from its weight sums and the range of its
// samples' chroma. The average is the sums multiplied by the rounded
// reciprocal of the weight sum; when the reciprocal of a tiny positive
// weight sum is not finite, the sums are divided instead, which still
// gives the average.
template <class Sample>
[[gnu::always_inline]] inline ChromaResult<Sample> chroma_average(double weight_sum, double weighted_u,
                                                                  double weighted_v, const ChromaRange<Sample>& range,
                                                                  Sample old_u, Sample old_v) {
  const double reciprocal = 1.0 / weight_sum;
  const bool finite = __builtin_isfinite(reciprocal);
  const double u = finite ? reciprocal * weighted_u : weighted_u / weight_sum;
  const double v = finite ? reciprocal * weighted_v : weighted_v / weight_sum;
  return {stored_chroma(u, range.low_u, range.high_u, old_u), stored_chroma(v, range.low_v, range.high_v, old_v)};
}

// Writes a centre's pixel: its luma unchanged, its new chroma.
template <class Sample>
[[gnu::always_inline]] inline void store_centre(Sample* out, const Sample* centre, ChromaResult<Sample> result) {
  out[0] = centre[0];
  out[1] = result.u;
  out[2] = result.v;
}

// Largest absolute change of the two chroma samples of one centre.
template <class Sample>
[[gnu::always_inline]] inline int chroma_change(Sample old_u, Sample old_v, ChromaResult<Sample> result) {
  const int du = __builtin_abs(int{old_u} - int{result.u});
  const int dv = __builtin_abs(int{old_v} - int{result.v});
  return du > dv ? du : dv;
}

// Mean and population variance of the samples' luma, the mean rounded to a
// double before it is squared.
struct LumaStatistics {
  double mean;
  double variance;
};

[[gnu::always_inline]] inline LumaStatistics luma_statistics(std::int64_t sum, std::int64_t square_sum, std::int64_t count) {
  const double mean = static_cast<double>(sum) / static_cast<double>(count);
  const double variance = static_cast<double>(square_sum) / static_cast<double>(count) - mean * mean;
  return {mean, variance};
}

}  // namespace quillfen
