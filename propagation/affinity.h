// The luma affinity: how strongly a sample's chroma pulls on its centre,
// from the two lumas and the mean and variance of luma over the centre's
// samples. Every operation is in double, in exactly this order.
#pragma once

#include <cmath>

#include "host/avisynth_interface.h"

inline constexpr double kGaussianBase = 2.718281828459045;

// Linear form: one plus the product of the two deviations from the mean,
// scaled by the variance. Can be zero or negative.
inline double linear_affinity(int centre_luma, int sample_luma, double mean, double variance) {
  if (variance == 0.0) return 1.0;
  return ((sample_luma - mean) / variance) * (centre_luma - mean) + 1.0;
}

// Gaussian form on the luma difference, with twice the variance as the
// denominator of the exponent. Lies in [0, 1]; underflows to 0.
inline double gaussian_affinity(int centre_luma, int sample_luma, double variance) {
  if (variance == 0.0) return 1.0;
  const int d = centre_luma - sample_luma;
  const double exponent = static_cast<double>(-(d * d)) / (variance + variance);
  return std::pow(kGaussianBase, exponent);
}

// The weight of the sample at column `sample_x` of the image row
// `sample_row` for the centre at column `centre_x` of `centre_row`.
inline double affinity(bool gaussian, const BYTE* centre_row, int centre_x, const BYTE* sample_row,
                       int sample_x, double mean, double variance) {
  const int centre_luma = centre_row[3 * centre_x];
  const int sample_luma = sample_row[3 * sample_x];
  return gaussian ? gaussian_affinity(centre_luma, sample_luma, variance)
                  : linear_affinity(centre_luma, sample_luma, mean, variance);
}
