#include "propagation/generic_centres.h"

#include <cstddef>

#include "propagation/chroma_average.h"
#include "propagation/sample_walk.h"

namespace {

// One centre: the two sweeps of the reference over its samples, with the
// weights computed inline and the Gaussian ones through the memo.
int propagate_centre(const PassSettings& settings, const BYTE* current, BYTE* next, int x, int y,
                     GaussianWeightCache& cache) {
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);

  const LumaStatistics stats = sample_luma_statistics(settings, current, x, y);
  const BYTE* centre = current + y * pitch + 3 * static_cast<std::size_t>(x);
  const int centre_luma = centre[0];
  const double centre_deviation = centre_luma - stats.mean;
  const double twice_variance = stats.variance + stats.variance;

  double weight_sum = 0.0, weighted_u = 0.0, weighted_v = 0.0;
  ChromaRange range;
  for_each_sample(settings, current, x, y, [&](const BYTE* row, int column) {
    const BYTE* sample = row + 3 * column;
    double w = 1.0;
    if (stats.variance != 0.0) {
      if (settings.gaussian) {
        const int d = centre_luma - sample[0];
        w = cache.weight(static_cast<double>(-(d * d)) / twice_variance);
      } else {
        w = ((sample[0] - stats.mean) / stats.variance) * centre_deviation + 1.0;
      }
    }
    weight_sum = weight_sum + w;
    weighted_u = sample[1] * w + weighted_u;
    weighted_v = sample[2] * w + weighted_v;
    range.include(sample[1], sample[2]);
  });

  const ChromaResult result = chroma_average(weight_sum, weighted_u, weighted_v, range, centre[1], centre[2]);
  BYTE* out = next + y * pitch + 3 * static_cast<std::size_t>(x);
  out[0] = centre[0];
  out[1] = result.u;
  out[2] = result.v;
  return chroma_change(centre[1], centre[2], result);
}

}  // namespace

int propagate_generic_columns(const PassSettings& settings, const BYTE* current, BYTE* next, int x_begin,
                              int x_end, GaussianWeightCache& cache) {
  int largest_change = kNoPixelsChange;
  for (int y = 0; y < settings.height; ++y) {
    for (int x = x_begin; x < x_end; ++x) {
      const int change = propagate_centre(settings, current, next, x, y, cache);
      if (change > largest_change) largest_change = change;
    }
  }
  return largest_change;
}
