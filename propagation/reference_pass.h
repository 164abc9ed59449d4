// The straightforward pass, which defines the bytes every kernel stores:
// each centre by itself, its samples visited through mirrored coordinates.
// propagation_pass_reference runs it over every column with the library's
// power, the border columns of the vector kernels (border_columns.h) with
// the memo's.
//
// The samples of one centre pixel, in the order every sum over them follows:
// the rows of the square around the centre from top to bottom, each row from
// left to right, every coordinate mirrored at the border; a mirrored
// position is a sample when its distance from the centre is within the
// radius and not zero, so a pixel reached from two offsets counts twice.
// Written once over the sample type (bytes, or wide std::uint16_t codes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "propagation/affinity.h"
#include "propagation/chroma_store.h"
#include "propagation/propagation_pass.h"
#include "propagation/reflect.h"

namespace quillfen {

// Calls visit(row, column) for each sample of centre (x, y): `row` is the
// start of the sample's image row, `column` its column.
template <class Sample, class Visit>
[[gnu::always_inline]] inline void for_each_sample(const PassSettings& settings, const Sample* image, int x, int y,
                                                   Visit&& visit) {
  const int radius = settings.radius;
  const int radius_squared = radius * radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  for (int n = y - radius; n <= y + radius; ++n) {
    const int ny = reflect(n, settings.height);
    const int dy2 = (ny - y) * (ny - y);
    // A whole row of the square beyond the radius holds no sample.
    if (dy2 > radius_squared) continue;
    const Sample* row = image + ny * pitch;
    for (int m = x - radius; m <= x + radius; ++m) {
      const int nx = reflect(m, settings.width);
      const int d2 = (nx - x) * (nx - x) + dy2;
      if (d2 == 0 || d2 > radius_squared) continue;
      visit(row, nx);
    }
  }
}

// Mean and variance of the luma of the samples of centre (x, y). The sums
// are 64-bit integers, so they are exact in any order, for samples of any
// value.
template <class Sample>
[[gnu::always_inline]] inline LumaStatistics sample_luma_statistics(const PassSettings& settings, const Sample* image,
                                                                    int x, int y) {
  std::int64_t luma_sum = 0, luma_square_sum = 0, count = 0;
  for_each_sample(settings, image, x, y, [&](const Sample* row, int column) {
    const std::int64_t luma = row[3 * column];
    luma_sum += luma;
    luma_square_sum += luma * luma;
    ++count;
  });
  return luma_statistics(luma_sum, luma_square_sum, count);
}

// One centre by the two sweeps over its samples: the luma statistics, then
// the weights and the weighted sums, then the store; returns the centre's
// change. `gaussian_power_of(exponent)` gives the Gaussian weights. The
// luma difference and its square are exact doubles (below 2^17 and 2^32),
// so the exponent is made from the exact integer d x d.
template <class Sample, class GaussianPower>
[[gnu::always_inline]] inline int propagate_centre(const PassSettings& settings, const Sample* current, Sample* next,
                                                   int x, int y, GaussianPower&& gaussian_power_of) {
  using L = ScalarLanes;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  const LumaStatistics stats = sample_luma_statistics(settings, current, x, y);
  const Sample* centre = current + y * pitch + 3 * static_cast<std::size_t>(x);
  const int centre_luma = centre[0];
  const L::Divisor by_variance = L::divisor(stats.variance);
  const L::Divisor by_exponent_divisor = gaussian_exponent_divisor<L>(stats.variance);
  const double centre_deviation = centre_luma - stats.mean;

  double weight_sum = 0.0, weighted_u = 0.0, weighted_v = 0.0;
  ChromaRange<Sample> range;
  for_each_sample(settings, current, x, y, [&](const Sample* row, int column) {
    const Sample* sample = row + 3 * column;
    const double w = settings.gaussian
                         ? gaussian_power_of(gaussian_exponent<L>(centre_luma - sample[0], by_exponent_divisor))
                         : linear_weight<L>(sample[0], stats.mean, by_variance, centre_deviation);
    weight_sum = weight_sum + w;
    weighted_u = sample[1] * w + weighted_u;
    weighted_v = sample[2] * w + weighted_v;
    range.include(sample[1], sample[2]);
  });

  const ChromaResult<Sample> result = chroma_average(weight_sum, weighted_u, weighted_v, range, centre[1], centre[2]);
  store_centre(next + y * pitch + 3 * static_cast<std::size_t>(x), centre, result);
  return chroma_change(centre[1], centre[2], result);
}

// The centres of columns [x_begin, x_end) in every row; returns their
// largest chroma change (kNoPixelsChange when there are none).
template <class Sample, class GaussianPower>
int propagate_columns(const PassSettings& settings, const Sample* current, Sample* next, int x_begin, int x_end,
                      GaussianPower&& gaussian_power_of) {
  int largest_change = kNoPixelsChange;
  for (int y = 0; y < settings.height; ++y)
    for (int x = x_begin; x < x_end; ++x) {
      const int change = propagate_centre(settings, current, next, x, y, gaussian_power_of);
      if (change > largest_change) largest_change = change;
    }
  return largest_change;
}

}  // namespace quillfen
