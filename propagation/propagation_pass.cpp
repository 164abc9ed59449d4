#include "propagation/propagation_pass.h"

#include <cstddef>

#include "propagation/affinity.h"
#include "propagation/chroma_average.h"
#include "propagation/pass_kernels.h"
#include "propagation/sample_walk.h"

int propagation_pass_reference(const PassSettings& settings, const BYTE* current, BYTE* next) {
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  int largest_change = kNoPixelsChange;

  for (int y = 0; y < settings.height; ++y) {
    const BYTE* centre_row = current + y * pitch;
    for (int x = 0; x < settings.width; ++x) {
      const LumaStatistics stats = sample_luma_statistics(settings, current, x, y);

      double weight_sum = 0.0, weighted_u = 0.0, weighted_v = 0.0;
      ChromaRange range;
      for_each_sample(settings, current, x, y, [&](const BYTE* row, int column) {
        const double w = affinity(settings.gaussian, centre_row, x, row, column, stats.mean, stats.variance);
        weight_sum = weight_sum + w;
        weighted_u = row[3 * column + 1] * w + weighted_u;
        weighted_v = row[3 * column + 2] * w + weighted_v;
        range.include(row[3 * column + 1], row[3 * column + 2]);
      });

      const BYTE* centre = centre_row + 3 * x;
      const ChromaResult result = chroma_average(weight_sum, weighted_u, weighted_v, range, centre[1], centre[2]);
      const int change = chroma_change(centre[1], centre[2], result);
      if (change > largest_change) largest_change = change;
      BYTE* out = next + y * pitch + 3 * x;
      out[0] = centre[0];
      out[1] = result.u;
      out[2] = result.v;
    }
  }
  return largest_change;
}

int propagation_pass(const PassSettings& settings, const BYTE* current, BYTE* next) {
  return best_pass_kernel().run(settings, current, next);
}
