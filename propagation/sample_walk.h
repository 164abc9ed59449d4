// The samples of one centre pixel, in the order every sum over them follows:
// the rows of the square around the centre from top to bottom, each row from
// left to right, every coordinate mirrored at the border; a mirrored
// position is a sample when its distance from the centre is within the
// radius and not zero, so a pixel reached from two offsets counts twice.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/avisynth_interface.h"
#include "propagation/chroma_average.h"
#include "propagation/propagation_pass.h"
#include "propagation/reflect.h"

// Calls visit(row, column) for each sample of centre (x, y): `row` is the
// start of the sample's image row, `column` its column.
template <class Visit>
[[gnu::always_inline]] inline void for_each_sample(const PassSettings& settings, const BYTE* image, int x, int y,
                                                   Visit&& visit) {
  const int radius = settings.radius;
  const int radius_squared = radius * radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  for (int n = y - radius; n <= y + radius; ++n) {
    const int ny = reflect(n, settings.height);
    const int dy2 = (ny - y) * (ny - y);
    // A whole row of the square beyond the radius holds no sample.
    if (dy2 > radius_squared) continue;
    const BYTE* row = image + ny * pitch;
    for (int m = x - radius; m <= x + radius; ++m) {
      const int nx = reflect(m, settings.width);
      const int d2 = (nx - x) * (nx - x) + dy2;
      if (d2 == 0 || d2 > radius_squared) continue;
      visit(row, nx);
    }
  }
}

// Mean and variance of the luma of the samples of centre (x, y). The sums
// are integers, so they are exact in any order.
[[gnu::always_inline]] inline LumaStatistics sample_luma_statistics(const PassSettings& settings, const BYTE* image,
                                                                    int x, int y) {
  std::int64_t luma_sum = 0, luma_square_sum = 0, count = 0;
  for_each_sample(settings, image, x, y, [&](const BYTE* row, int column) {
    const std::int64_t luma = row[3 * column];
    luma_sum += luma;
    luma_square_sum += luma * luma;
    ++count;
  });
  return luma_statistics(luma_sum, luma_square_sum, count);
}
