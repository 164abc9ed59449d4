// The vector kernel body for float images, over the same lane operations
// (lane_operations.h) and window (pass_workspace.h) as the integer one
// (lane_kernel.h), whose disc rows and weight sums it shares. Each lane is
// one centre and follows the straightforward float pass
// (float_reference_pass.h) operation by operation: the luma sum, the mean,
// the squared deviations, the weights, the sums and the bounds, in sample
// order.
//
// Every quotient comes from Lanes::divide, which gives the correctly
// rounded quotient. Where a kernel makes it without a division
// (exact_quotient.h), float samples keep the operands far from both ends of
// the double's range: finite floats lie within 2^128 of zero and are 0 or
// at least 2^-149 from it, so sums, deviations from a mean, their squares,
// variances and their quotients stay between 2^-720 and 2^700 or are 0.
// Lanes whose lumas are not finite are kept by the store whatever their
// quotients gave.
#pragma once

#include <cstddef>

#include "propagation/border_columns.h"
#include "propagation/float_reference_pass.h"
#include "propagation/lane_kernel.h"

namespace quillfen {

// Converts `span` pixels of a float image row into a window slot.
[[gnu::always_inline]] inline void float_window_load(LaneWindow& window, int slot, const float* __restrict pixels,
                                                     int span) {
  double* __restrict luma = window.luma[slot];
  double* __restrict u = window.u[slot];
  double* __restrict v = window.v[slot];
  for (int c = 0; c < span; ++c, pixels += 3) {
    luma[c] = pixels[0];
    u[c] = pixels[1];
    v[c] = pixels[2];
  }
}

// A run's luma statistics and the bounds of its samples' chroma; the second
// sweep over the samples gathers both.
template <PassLanes Lanes>
struct FloatLaneStatistics {
  typename Lanes::D sum, mean, variance, low_u, high_u, low_v, high_v;
};

template <PassLanes Lanes>
[[gnu::always_inline]] inline void float_lane_statistics(const LaneRow<Lanes>& row, int column,
                                                        FloatLaneStatistics<Lanes>& stats) {
  using D = typename Lanes::D;
  D sum = Lanes::set1(0.0);
  for_each_lane_sample(row.rows, row.row_count,
                       [&](int slot, int dx) { sum = Lanes::add(sum, Lanes::load(&row.window.luma[slot][column + dx])); });
  const D mean = Lanes::divide(sum, row.by_count);
  D squares = Lanes::set1(0.0);
  D low_u = Lanes::set1(__builtin_inf()), high_u = Lanes::set1(-__builtin_inf());
  D low_v = low_u, high_v = high_u;
  for_each_lane_sample(row.rows, row.row_count, [&](int slot, int dx) {
    const D deviation = Lanes::sub(Lanes::load(&row.window.luma[slot][column + dx]), mean);
    squares = Lanes::add(squares, Lanes::mul(deviation, deviation));
    const D u = Lanes::load(&row.window.u[slot][column + dx]);
    const D v = Lanes::load(&row.window.v[slot][column + dx]);
    low_u = Lanes::min(low_u, u);
    high_u = Lanes::max(high_u, u);
    low_v = Lanes::min(low_v, v);
    high_v = Lanes::max(high_v, v);
  });
  stats = {sum, mean, Lanes::divide(squares, row.by_count), low_u, high_u, low_v, high_v};
}

// The new chroma of a run, stored with the centres' luma; raises `largest`
// to the centres' changes. Where every lane is finite, the bounds are
// applied to all lanes at once; min and max may then pick either of two
// equal operands, as only signed zeros tell apart, and the added +0.0
// makes those one. Any lane that is not leaves the whole run to the
// straightforward pass's store.
template <PassLanes Lanes>
[[gnu::always_inline]] inline void float_lane_finish(const LaneRow<Lanes>& row, int column,
                                                    const FloatLaneStatistics<Lanes>& stats,
                                                    const LaneSums<Lanes>& sums, const float* centre, float* out,
                                                    double& largest) {
  using D = typename Lanes::D;
  constexpr int kLanes = Lanes::kLanes;
  const D centre_luma = Lanes::load(&row.window.luma[row.centre_slot][column]);
  const D old_u = Lanes::load(&row.window.u[row.centre_slot][column]);
  const D old_v = Lanes::load(&row.window.v[row.centre_slot][column]);
  const D reciprocal = Lanes::div(Lanes::set1(1.0), sums.weight);
  alignas(64) double lane_u[kLanes], lane_v[kLanes];
  const D u = Lanes::mul(reciprocal, sums.u);
  const D v = Lanes::mul(reciprocal, sums.v);
  // Finite lumas leave the luma sum and the centre's luma finite, and
  // finite chroma the new and the old values; a sum times an infinite
  // reciprocal is not finite either.
  if (Lanes::all_finite(Lanes::add(Lanes::add(Lanes::add(stats.sum, centre_luma), Lanes::add(u, v)),
                                   Lanes::add(old_u, old_v)))) {
    const D zero = Lanes::set1(0.0);
    Lanes::store(lane_u, Lanes::add(Lanes::min(Lanes::max(u, stats.low_u), stats.high_u), zero));
    Lanes::store(lane_v, Lanes::add(Lanes::min(Lanes::max(v, stats.low_v), stats.high_v), zero));
    for (int i = 0; i < kLanes; ++i, centre += 3, out += 3) {
      const float new_u = static_cast<float>(lane_u[i]), new_v = static_cast<float>(lane_v[i]);
      out[0] = centre[0];
      out[1] = new_u;
      out[2] = new_v;
      const double du = __builtin_fabs(static_cast<double>(new_u) - static_cast<double>(centre[1]));
      const double dv = __builtin_fabs(static_cast<double>(new_v) - static_cast<double>(centre[2]));
      const double change = du > dv ? du : dv;
      largest = change > largest ? change : largest;
    }
    return;
  }

  alignas(64) double lane[8][kLanes];
  Lanes::store(lane[0], sums.weight);
  Lanes::store(lane[1], sums.u);
  Lanes::store(lane[2], sums.v);
  Lanes::store(lane[3], stats.low_u);
  Lanes::store(lane[4], stats.high_u);
  Lanes::store(lane[5], stats.low_v);
  Lanes::store(lane[6], stats.high_v);
  Lanes::store(lane[7], stats.sum);
  for (int i = 0; i < kLanes; ++i, centre += 3, out += 3) {
    const double weight_sum = lane[0][i];
    const double lane_reciprocal = 1.0 / weight_sum;
    const bool finite = __builtin_isfinite(lane_reciprocal);
    const double value_u = finite ? lane_reciprocal * lane[1][i] : lane[1][i] / weight_sum;
    const double value_v = finite ? lane_reciprocal * lane[2][i] : lane[2][i] / weight_sum;
    const bool lumas_finite = __builtin_isfinite(centre[0]) && __builtin_isfinite(lane[7][i]);
    out[0] = centre[0];
    out[1] = float_chroma(value_u, lane[3][i], lane[4][i], centre[1], lumas_finite);
    out[2] = float_chroma(value_v, lane[5][i], lane[6][i], centre[2], lumas_finite);
    const double du = float_change(centre[1], out[1]), dv = float_change(centre[2], out[2]);
    const double change = du > dv ? du : dv;
    largest = change > largest ? change : largest;
  }
}

// One run of Lanes::kLanes centres at window column `column`.
template <PassLanes Lanes>
[[gnu::always_inline]] inline void float_lane_block(const PassSettings& settings, const LaneRow<Lanes>& row,
                                                   int column, const float* centre, float* out,
                                                   PassWorkspace& workspace, double& largest) {
  using D = typename Lanes::D;
  const D centre_luma = Lanes::load(&row.window.luma[row.centre_slot][column]);
  FloatLaneStatistics<Lanes> stats;
  LaneSums<Lanes> sums;
  float_lane_statistics(row, column, stats);
  if (settings.gaussian) {
    gaussian_listed_lane_sums(row, column, centre_luma, LaneStatistics<Lanes>{stats.mean, stats.variance},
                              workspace.listed, sums);
  } else {
    const typename Lanes::Divisor by_variance = Lanes::divisor(stats.variance);
    const D centre_deviation = Lanes::sub(centre_luma, stats.mean);
    lane_weight_sums<Lanes, void>(
        row, column,
        [&](D sample_luma) { return linear_weight<Lanes>(sample_luma, stats.mean, by_variance, centre_deviation); },
        [](int) {}, sums);
  }
  float_lane_finish(row, column, stats, sums, centre, out, largest);
}

// Centres [tile_begin, tile_end) of every row, as lane_tile takes them.
template <PassLanes Lanes>
[[gnu::always_inline]] inline double float_lane_tile(const PassSettings& settings, const float* current, float* next,
                                                    int tile_begin, int tile_end, PassWorkspace& workspace) {
  LaneWindow& window = workspace.window;
  const int radius = settings.radius;
  const int slots = 2 * radius + 1;
  const int first_column = tile_begin - radius;
  const int span = tile_end - tile_begin + 2 * radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  double largest = kNoPixelsFloatChange;
  int loaded = -1;
  for (int y = 0; y < settings.height; ++y) {
    const int needed = y + radius < settings.height ? y + radius : settings.height - 1;
    while (loaded < needed) {
      ++loaded;
      float_window_load(window, loaded % slots, current + loaded * pitch + 3 * static_cast<std::size_t>(first_column),
                        span);
    }
    LaneDiscRow rows[kLaneWindowRows];
    int samples;
    const int row_count = lane_disc_rows(settings, y, rows, samples);
    const LaneRow<Lanes> row{window, rows, row_count, y % slots,
                             Lanes::divisor(Lanes::set1(static_cast<double>(samples)))};
    for (int start = tile_begin; start < tile_end; start += Lanes::kLanes) {
      const int x = start + Lanes::kLanes <= tile_end ? start : tile_end - Lanes::kLanes;
      const std::size_t at = y * pitch + 3 * static_cast<std::size_t>(x);
      float_lane_block(settings, row, x - first_column, current + at, next + at, workspace, largest);
    }
  }
  return largest;
}

// The whole pass over a float image with Lanes: vector runs over the
// columns whose discs stay inside the image, the straightforward walk
// elsewhere.
template <PassLanes Lanes>
double float_lane_pass(const PassSettings& settings, const float* current, float* next, GaussianWeightCache* memo,
                       PassWorkspace& workspace) {
  if (settings.gaussian) memo->clear();
  const int radius = settings.radius;
  const int width = settings.width;
  if (radius > kMaxLaneRadius || width - 2 * radius < Lanes::kLanes)
    return propagate_border_columns(settings, current, next, 0, width, memo);

  double largest_change = propagate_border_columns(settings, current, next, 0, radius, memo);
  const double right = propagate_border_columns(settings, current, next, width - radius, width, memo);
  if (right > largest_change) largest_change = right;

  const int interior_end = width - radius;
  for (int begin = radius; begin < interior_end; begin += kLaneTileWidth) {
    const int end = begin + kLaneTileWidth < interior_end ? begin + kLaneTileWidth : interior_end;
    const int tile_begin = end - begin >= Lanes::kLanes ? begin : end - Lanes::kLanes;
    const double change = float_lane_tile<Lanes>(settings, current, next, tile_begin, end, workspace);
    if (change > largest_change) largest_change = change;
  }
  return largest_change;
}

}  // namespace quillfen
