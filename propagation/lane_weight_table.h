// Each lane's Gaussian weights by luma difference, for one run of centres.
//
// A centre meets only a handful of distinct luma differences among its
// samples, and with its variance fixed the weight depends on nothing else;
// neighbouring centres meet mostly the same differences. So a run first
// marks, lane by lane, the absolute differences it meets, then computes
// each marked weight once from the memo, and the sample loop reads every
// weight from this small table instead of from the memo: the memo is
// consulted once per distinct difference, not once per sample.
//
// Forced inline and built-ins only, for the reason given in
// chroma_average.h.
#pragma once

#include <cstdint>

#include "propagation/affinity.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/scalar_lanes.h"

// Most lanes a run has; the widest kernel runs 32 centres at once.
inline constexpr int kMaxTableLanes = 32;
// Luma differences 0..255, and one word of marks for each group of 64.
inline constexpr int kLumaDifferences = 256;
inline constexpr int kMarkWords = kLumaDifferences / 64;

// A register of L lanes owns kLumaDifferences * L weights, the weight of
// difference k for its lane i at k * L + i: the lanes' weights of one
// difference share a cache line.
//
// A kernel may leave weights that the memo could not give at once for
// serve_table_misses: it puts their exponents at the weights' places in
// `missed_exponents` and lists them in `misses`, one entry per register of
// at least eight lanes and difference, so that every lookup of a run is
// issued before any miss is served.
struct LaneWeightTable {
  struct Miss {
    int at;               // the weight of the entry's first lane
    std::uint32_t lanes;  // bit i: the weight at `at + i` is missing
  };
  double weights[kMaxTableLanes * kLumaDifferences];
  double missed_exponents[kMaxTableLanes * kLumaDifferences];
  Miss misses[kMaxTableLanes / 8 * kLumaDifferences];
  int miss_count = 0;
};

// Completes the weights the table lists as missing through the memo, which
// fills their slots, and empties the list.
[[gnu::always_inline]] inline void serve_table_misses(LaneWeightTable& table, GaussianWeightCache& cache) {
  for (int m = 0; m < table.miss_count; ++m)
    for (std::uint32_t lanes = table.misses[m].lanes; lanes != 0; lanes &= lanes - 1) {
      const int at = table.misses[m].at + __builtin_ctz(lanes);
      table.weights[at] = cache.weight(table.missed_exponents[at]);
    }
  table.miss_count = 0;
}

// Fills the weights of a register of kLanes lanes, one lane at a time, at
// every marked difference: `marks[w][i]` holds lane i's marks for
// differences 64 * w to 64 * w + 63, bit k for difference 64 * w + k.
template <int kLanes>
[[gnu::always_inline]] inline void fill_lane_weights(double* weights, const std::uint64_t (&marks)[kMarkWords][kLanes],
                                                     const double (&variance)[kLanes], GaussianWeightCache& cache) {
  for (int i = 0; i < kLanes; ++i) {
    const ScalarLanes::Divisor by_twice_variance = twice_variance_divisor<ScalarLanes>(variance[i]);
    for (int w = 0; w < kMarkWords; ++w) {
      for (std::uint64_t bits = marks[w][i]; bits != 0; bits &= bits - 1) {
        const int difference = 64 * w + __builtin_ctzll(bits);
        weights[difference * kLanes + i] = cache.weight(gaussian_exponent<ScalarLanes>(difference, by_twice_variance));
      }
    }
  }
}
