// The luma affinity: how strongly a sample's chroma pulls on its centre,
// from the two lumas and the mean and variance of luma over the centre's
// samples. Written once over lane operations (lane_operations.h): the
// straightforward pass runs it on single doubles, the vector kernels on
// registers of centres, so every path computes the same weight with the
// same operations in the same order.
//
// A centre whose samples all share one luma has a variance of exactly 0,
// and every sample then weighs 1.0. Both forms take this from the one
// quotient each makes by the variance: a divisor of 0 gives a zero
// quotient, which makes the linear weight 0 x (Yc - mean) + 1 = 1 and the
// Gaussian exponent 0, whose power is exactly 1.
#pragma once

#include <cmath>

#include "propagation/lane_operations.h"
#include "propagation/scalar_lanes.h"

inline constexpr double kGaussianBase = 2.718281828459045;

// Linear form: one plus the product of the two lumas' deviations from the
// mean, scaled by the variance, ((Yn - mean) / variance) x (Yc - mean) + 1,
// in that order. Can be zero or negative.
template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::D linear_weight(typename L::D sample_luma, typename L::D mean,
                                                          const typename L::Divisor& by_variance,
                                                          typename L::D centre_deviation) {
  return L::add(L::mul(L::divide(L::sub(sample_luma, mean), by_variance), centre_deviation), L::set1(1.0));
}

// Gaussian form: the power of kGaussianBase to the exponent
// -(d x d) / (variance + variance), d the luma difference of centre and
// sample. The weight lies in [0, 1] and underflows to 0.
template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::Divisor twice_variance_divisor(typename L::D variance) {
  return L::divisor(L::add(variance, variance));
}

template <LaneArithmetic L>
[[gnu::always_inline]] inline typename L::D gaussian_exponent(typename L::D difference,
                                                              const typename L::Divisor& by_twice_variance) {
  return L::divide(L::sub(L::set1(0.0), L::mul(difference, difference)), by_twice_variance);
}

inline double gaussian_power(double exponent) { return std::pow(kGaussianBase, exponent); }

// The two forms for one centre and one sample.
inline double linear_affinity(int centre_luma, int sample_luma, double mean, double variance) {
  return linear_weight<ScalarLanes>(sample_luma, mean, ScalarLanes::divisor(variance), centre_luma - mean);
}

inline double gaussian_affinity(int centre_luma, int sample_luma, double variance) {
  return gaussian_power(
      gaussian_exponent<ScalarLanes>(centre_luma - sample_luma, twice_variance_divisor<ScalarLanes>(variance)));
}
