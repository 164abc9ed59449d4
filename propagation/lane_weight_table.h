// Each lane's Gaussian weights by luma difference, for one run of centres.
//
// A centre meets only a handful of distinct luma differences among its
// samples, and with its variance fixed the weight depends on nothing else;
// neighbouring centres meet mostly the same differences. So a run first
// marks, lane by lane, the absolute differences it meets, then computes
// each marked weight once (the x86 kernels with the fast form of
// exact_gaussian_power.h, serving the few powers it leaves undecided
// through the memo; the portable one from the memo), and the
// sample loop reads every weight from this small table: one power per
// distinct difference, not one per sample.
//
// Forced inline and built-ins only, for the reason given in
// chroma_store.h.
#pragma once

#include <cstdint>

#include "propagation/affinity.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/scalar_lanes.h"

namespace quillfen {

// Most lanes a run has; the widest kernel runs 32 centres at once.
inline constexpr int kMaxTableLanes = 32;
// Luma differences 0..255, and one word of marks for each group of 64.
inline constexpr int kLumaDifferences = 256;
inline constexpr int kMarkWords = kLumaDifferences / 64;
// Differences below this, the first word's, are marked in the statistics
// sweep itself.
inline constexpr int kNarrowDifferences = 64;
// Fills a list of exponents up to whole registers, so that the exact power
// takes every one in the vector loop: powers one at a time cost several
// times more. Its power lies within 0.002 ULP of a double, far inside what
// the fast form decides.
inline constexpr double kPaddingExponent = -0.25;

// A register of L lanes owns kLumaDifferences * L weights, the weight of
// difference k for its lane i at k * L + i: the lanes' weights of one
// difference share a cache line.
struct LaneWeightTable {
  double weights[kMaxTableLanes * kLumaDifferences];
};

// Fills the weights of a register of kLanes lanes, one lane at a time, at
// every marked difference: `marks[w][i]` holds lane i's marks for
// differences 64 * w to 64 * w + 63, bit k for difference 64 * w + k.
template <int kLanes>
[[gnu::always_inline]] inline void fill_lane_weights(double* weights, const std::uint64_t (&marks)[kMarkWords][kLanes],
                                                     const double (&variance)[kLanes], GaussianWeightCache& cache) {
  for (int i = 0; i < kLanes; ++i) {
    const ScalarLanes::Divisor by_exponent_divisor = gaussian_exponent_divisor<ScalarLanes>(variance[i]);
    for (int w = 0; w < kMarkWords; ++w) {
      for (std::uint64_t bits = marks[w][i]; bits != 0; bits &= bits - 1) {
        const int difference = 64 * w + __builtin_ctzll(bits);
        weights[difference * kLanes + i] =
            cache.weight(gaussian_exponent<ScalarLanes>(difference, by_exponent_divisor));
      }
    }
  }
}

}  // namespace quillfen
