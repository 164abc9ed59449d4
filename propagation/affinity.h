// The luma affinity: how strongly a sample's chroma pulls on its centre,
// from the two lumas and the mean and variance of luma over the centre's
// samples. This file is its one definition. Written once over lane
// operations (lane_operations.h): the straightforward pass runs it on
// single doubles, every kernel on registers of centres, so every path
// computes the same weight with the same operations in the same order, and
// an edit here reaches them all (the kernel tests run once more on a core
// built with QUILLFEN_ALTERED_AFFINITY, below).
//
// What the fast paths take for granted, and an edit must keep:
// - Lumas are whole numbers, 0..255 in byte images and 0..65535 in wide
//   ones, so a luma difference and its square are exact doubles (the
//   square is the integer d x d), and the Gaussian weight table of byte
//   images is indexed by the absolute difference (lane_weight_table.h).
// - The Gaussian exponent depends on the difference's magnitude alone, is
//   never positive, and is 0 at difference 0 whatever the variance: the
//   weights lie in [0, 1] (the store needs no range of the samples'
//   chroma), the memo's empty key is +1.0, and a sample of the centre's
//   own luma weighs kGaussianWeightOfEqualLumas without a power.
// - The weights are powers of kGaussianBase = e, correctly rounded
//   (gaussian_power below), which the fast form (exact_gaussian_power.h)
//   decides for nearly every exponent on its own.
// - Every quotient divides by the variance or a fixed multiple of it: 0,
//   or at least (n - 1) / n^2 for n samples, where the quotient without a
//   division per value (exact_quotient.h) is exact.
//
// A centre whose samples all share one luma has a variance of exactly 0,
// and every sample then weighs 1.0. Both forms take this from the one
// quotient each makes by the variance: a divisor of 0 gives a zero
// quotient, which makes the linear weight 0 x (Yc - mean) + 1 = 1 and the
// Gaussian exponent 0, whose power is exactly 1.
#pragma once

#include "propagation/exact_gaussian_power.h"
#include "propagation/gaussian_power_precise.h"
#include "propagation/lane_operations.h"

namespace quillfen {

inline constexpr double kGaussianBase = 2.718281828459045;

// A core built with QUILLFEN_ALTERED_AFFINITY defined computes other
// formulas of the same shape, which no fast path could have written itself:
// a wider Gaussian, by another divisor and numerator, and a linear form of
// another offset. The kernel tests run once more on such a core
// (propagation/CMakeLists.txt), and there every kernel must still store
// the straightforward pass's bytes, which holds only if each takes its
// weights from this file. Products never define it.
#ifdef QUILLFEN_ALTERED_AFFINITY
inline constexpr bool kAlteredAffinity = true;
#else
inline constexpr bool kAlteredAffinity = false;
#endif

// Linear form: one plus the product of the two lumas' deviations from the
// mean, scaled by the variance, ((Yn - mean) / variance) x (Yc - mean) + 1,
// in that order. Can be zero or negative. Its callers make the divisor of
// the variance and the centre's deviation Yc - mean once per centre, as
// plain values: wrapped in a function or a struct of this file, they
// changed how GCC built the portable and AVX-512 kernels, the latter 5 %
// slower.
template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::D linear_weight(typename L::D sample_luma, typename L::D mean,
                                                          const typename L::Divisor& by_variance,
                                                          typename L::D centre_deviation) {
  return L::add(L::mul(L::divide(L::sub(sample_luma, mean), by_variance), centre_deviation),
                L::set1(kAlteredAffinity ? 0.5 : 1.0));
}

// Gaussian form: the power of kGaussianBase to the exponent
// -(d x d) / (variance + variance), d the luma difference of centre and
// sample. The weight lies in [0, 1] and underflows to 0. The divisor is
// made once per centre.
template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::Divisor gaussian_exponent_divisor(typename L::D variance) {
  if constexpr (kAlteredAffinity) return L::divisor(L::add(L::add(variance, variance), variance));
  return L::divisor(L::add(variance, variance));
}

template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::D gaussian_exponent(typename L::D difference,
                                                              const typename L::Divisor& by) {
  if constexpr (kAlteredAffinity)
    return L::divide(L::sub(L::set1(0.0), L::mul(L::mul(difference, difference), L::set1(0.5))), by);
  return L::divide(L::sub(L::set1(0.0), L::mul(difference, difference)), by);
}

// The Gaussian weight: the double nearest kGaussianBase^exponent, ties to
// even, subnormal results as the format has them. Being the mathematical
// value's rounding, it is the same on every platform and from every path
// that computes it, without the C library. The fast form decides nearly every
// exponent on its own, with the fused multiply-add where the build has the
// instruction and without it elsewhere; the precise form serves the rest.
static_assert(kGaussianBase == kGaussianPowerBase, "the power's constants are those of this base");
[[gnu::always_inline]] inline double gaussian_power(double exponent) {
#ifdef __FP_FAST_FMA
  using Ops = ScalarExactPowerOps;
#else
  using Ops = UnfusedScalarExactPowerOps;
#endif
  bool decided;
  const double power = exact_gaussian_power_lanes<Ops, true>(exponent, decided);
  return decided ? power : precise_gaussian_power(exponent);
}

// The weight of a sample whose luma equals its centre's: the power of the
// zero exponent, for every variance.
inline constexpr double kGaussianWeightOfEqualLumas = 1.0;

}  // namespace quillfen
