// The straightforward pass over float images, which defines the floats
// every kernel stores: each centre by itself, its samples visited through
// mirrored coordinates in the order of for_each_sample (reference_pass.h).
// propagation_pass_reference runs it over every column with gaussian_power,
// the border columns of the vector kernels with the memo's.
//
// Float lumas are no whole numbers, so the integer path's exact sums do not
// carry over. The mean is the sum of the samples' lumas in double, in sample
// order, divided by the count; the variance the sum of the squared
// deviations from that mean, in the same order, divided by the count. Both
// never see a rounding when every sample has one luma f: the partial sums
// are k x f, exact in double for any count below 2^29, the mean is f
// itself and every deviation 0, so the variance is exactly 0.0, as the
// integer formats' is. Weights and sums are then the integer path's
// (affinity.h), on doubles of the float samples.
//
// The new value is bounded by the samples' chroma in both forms and stored
// as the nearest float (float_chroma below). Non-finite samples stay where
// they are: a centre keeps both chroma values when its own luma or a
// sample's is not finite, and keeps its U (V) when its own U (V) or the
// new value is not finite, which covers a sample's non-finite U (V), and
// every Gaussian weight underflowing.
#pragma once

#include <cstddef>

#include "propagation/affinity.h"
#include "propagation/propagation_pass.h"
#include "propagation/reference_pass.h"
#include "propagation/scalar_lanes.h"

namespace quillfen {

// The float a new chroma value `value` of a centre whose old value is `old`
// is stored as: bounded by the smallest (`low`) and largest (`high`) chroma
// among its samples, duplicates included, and rounded to the nearest float.
// Adding +0.0 makes a zero +0.0 whichever bound or value it came from, so
// that no path's choice between equal operands shows. `old` when the value
// or `old` is not finite, or the lumas were not (`lumas_finite`).
[[gnu::always_inline]] inline float float_chroma(double value, double low, double high, float old,
                                                 bool lumas_finite) {
  if (!lumas_finite || !__builtin_isfinite(value) || !__builtin_isfinite(old)) return old;
  return static_cast<float>(ScalarLanes::min(ScalarLanes::max(value, low), high) + 0.0);
}

// How far a centre's stored float moved: 0 where it was kept.
[[gnu::always_inline]] inline double float_change(float old, float stored) {
  const double change = static_cast<double>(stored) - static_cast<double>(old);
  return change == change ? __builtin_fabs(change) : 0.0;
}

// Mean and variance of the lumas of centre (x, y)'s samples as above, with
// the luma sum, which is finite exactly when every sample's luma is.
struct FloatLumaStatistics {
  double sum;
  double mean;
  double variance;
};

[[gnu::always_inline]] inline FloatLumaStatistics float_luma_statistics(const PassSettings& settings,
                                                                        const float* image, int x, int y) {
  double sum = 0.0;
  int count = 0;
  for_each_sample(settings, image, x, y, [&](const float* row, int column) {
    sum = sum + static_cast<double>(row[3 * column]);
    ++count;
  });
  const double mean = sum / static_cast<double>(count);
  double squares = 0.0;
  for_each_sample(settings, image, x, y, [&](const float* row, int column) {
    const double deviation = static_cast<double>(row[3 * column]) - mean;
    squares = squares + deviation * deviation;
  });
  return {sum, mean, squares / static_cast<double>(count)};
}

// One centre; returns its change (largest of U's and V's).
template <class GaussianPower>
[[gnu::always_inline]] inline double propagate_float_centre(const PassSettings& settings, const float* current,
                                                            float* next, int x, int y,
                                                            GaussianPower&& gaussian_power_of) {
  using L = ScalarLanes;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  const FloatLumaStatistics stats = float_luma_statistics(settings, current, x, y);
  const float* centre = current + y * pitch + 3 * static_cast<std::size_t>(x);
  const double centre_luma = centre[0];
  const L::Divisor by_variance = L::divisor(stats.variance);
  const L::Divisor by_exponent_divisor = gaussian_exponent_divisor<L>(stats.variance);
  const double centre_deviation = centre_luma - stats.mean;

  double weight_sum = 0.0, weighted_u = 0.0, weighted_v = 0.0;
  double low_u = __builtin_inf(), high_u = -__builtin_inf(), low_v = __builtin_inf(), high_v = -__builtin_inf();
  for_each_sample(settings, current, x, y, [&](const float* row, int column) {
    const float* sample = row + 3 * column;
    const double luma = sample[0], u = sample[1], v = sample[2];
    const double w = settings.gaussian
                         ? gaussian_power_of(gaussian_exponent<L>(centre_luma - luma, by_exponent_divisor))
                         : linear_weight<L>(luma, stats.mean, by_variance, centre_deviation);
    weight_sum = weight_sum + w;
    weighted_u = u * w + weighted_u;
    weighted_v = v * w + weighted_v;
    low_u = L::min(low_u, u);
    high_u = L::max(high_u, u);
    low_v = L::min(low_v, v);
    high_v = L::max(high_v, v);
  });

  const bool lumas_finite = __builtin_isfinite(centre_luma) && __builtin_isfinite(stats.sum);
  const double reciprocal = 1.0 / weight_sum;
  const bool finite = __builtin_isfinite(reciprocal);
  const double u = finite ? reciprocal * weighted_u : weighted_u / weight_sum;
  const double v = finite ? reciprocal * weighted_v : weighted_v / weight_sum;
  float* out = next + y * pitch + 3 * static_cast<std::size_t>(x);
  out[0] = centre[0];
  out[1] = float_chroma(u, low_u, high_u, centre[1], lumas_finite);
  out[2] = float_chroma(v, low_v, high_v, centre[2], lumas_finite);
  const double du = float_change(centre[1], out[1]), dv = float_change(centre[2], out[2]);
  return du > dv ? du : dv;
}

// The centres of columns [x_begin, x_end) in every row; returns their
// largest chroma change (kNoPixelsFloatChange when there are none).
template <class GaussianPower>
double propagate_float_columns(const PassSettings& settings, const float* current, float* next, int x_begin,
                               int x_end, GaussianPower&& gaussian_power_of) {
  double largest_change = kNoPixelsFloatChange;
  for (int y = 0; y < settings.height; ++y)
    for (int x = x_begin; x < x_end; ++x) {
      const double change = propagate_float_centre(settings, current, next, x, y, gaussian_power_of);
      if (change > largest_change) largest_change = change;
    }
  return largest_change;
}

}  // namespace quillfen
