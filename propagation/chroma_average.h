// The end of one centre's work, shared by every pass kernel so that all of
// them store the same bytes: the weighted average of the samples' chroma,
// its conversion to a byte, and the change it makes.
//
// The helpers are forced inline and use only compiler built-ins: the
// vector kernels are compiled with wider instruction sets, and an
// out-of-line copy emitted there could be the one the linker keeps for
// every caller, on a CPU that lacks those instructions.
#pragma once

#include <cstdint>

#include "host/avisynth_interface.h"

// Truncates toward zero and saturates: an overshoot of the linear form
// stays at the near end of the range instead of wrapping to the far one.
[[gnu::always_inline]] inline BYTE chroma_byte(double value) {
  if (!(value >= 0.0)) return 0;
  if (value >= 256.0) return 255;
  return static_cast<BYTE>(static_cast<std::int64_t>(value));
}

struct ChromaResult {
  BYTE u;
  BYTE v;
};

// New chroma of a centre from its weight sums. The average is the sums
// multiplied by the rounded reciprocal of the weight sum. When every weight
// underflowed to 0 there is nothing to average and the centre keeps its
// chroma; when the reciprocal of a tiny positive weight sum is not finite,
// the sums are divided instead, which still gives the average.
[[gnu::always_inline]] inline ChromaResult chroma_average(double weight_sum, double weighted_u, double weighted_v,
                                   BYTE old_u, BYTE old_v) {
  if (weight_sum == 0.0) return {old_u, old_v};
  const double reciprocal = 1.0 / weight_sum;
  if (!__builtin_isfinite(reciprocal))
    return {chroma_byte(weighted_u / weight_sum), chroma_byte(weighted_v / weight_sum)};
  return {chroma_byte(reciprocal * weighted_u), chroma_byte(reciprocal * weighted_v)};
}

// Largest absolute change of the two chroma bytes of one centre.
[[gnu::always_inline]] inline int chroma_change(BYTE old_u, BYTE old_v, ChromaResult result) {
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
