#include "propagation/propagation_pass.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "propagation/affinity.h"
#include "propagation/chroma_average.h"
#include "propagation/pass_kernels.h"

namespace {

// Mirror a coordinate into [0, n - 1] without repeating the edge pixel:
// -k maps to k, n - 1 + k to n - 1 - k.
int reflect(int coordinate, int n) { return std::abs((n - 1) - std::abs((n - 1) - coordinate)); }

}  // namespace

int propagation_pass_reference(const PassSettings& settings, const BYTE* current, BYTE* next) {
  const int width = settings.width;
  const int height = settings.height;
  const int radius = settings.radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(width);
  const int radius_squared = radius * radius;
  int largest_change = kNoPixelsChange;

  for (int y = 0; y < height; ++y) {
    const BYTE* centre_row = current + y * pitch;
    for (int x = 0; x < width; ++x) {
      std::int64_t luma_sum = 0, luma_square_sum = 0, count = 0;
      for (int n = y - radius; n <= y + radius; ++n) {
        const int ny = reflect(n, height);
        const BYTE* row = current + ny * pitch;
        for (int m = x - radius; m <= x + radius; ++m) {
          const int nx = reflect(m, width);
          const int d2 = (nx - x) * (nx - x) + (ny - y) * (ny - y);
          if (d2 == 0 || d2 > radius_squared) continue;
          const std::int64_t luma = row[3 * nx];
          luma_sum += luma;
          luma_square_sum += luma * luma;
          ++count;
        }
      }
      const LumaStatistics stats = luma_statistics(luma_sum, luma_square_sum, count);

      double weight_sum = 0.0, weighted_u = 0.0, weighted_v = 0.0;
      for (int n = y - radius; n <= y + radius; ++n) {
        const int ny = reflect(n, height);
        const BYTE* row = current + ny * pitch;
        for (int m = x - radius; m <= x + radius; ++m) {
          const int nx = reflect(m, width);
          const int d2 = (nx - x) * (nx - x) + (ny - y) * (ny - y);
          if (d2 == 0 || d2 > radius_squared) continue;
          const double w = affinity(settings.gaussian, centre_row, x, row, nx, stats.mean, stats.variance);
          weight_sum = weight_sum + w;
          weighted_u = row[3 * nx + 1] * w + weighted_u;
          weighted_v = row[3 * nx + 2] * w + weighted_v;
        }
      }

      const BYTE* centre = centre_row + 3 * x;
      const ChromaResult result = chroma_average(weight_sum, weighted_u, weighted_v, centre[1], centre[2]);
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
