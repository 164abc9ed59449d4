// The body of the vector kernels, written once over a set of lane
// operations (`Lanes`) that each kernel file supplies for its instruction
// set. Each lane is one centre pixel of a run of neighbouring centres; it
// carries that centre's own sums through that centre's own samples in the
// reference's order, so every lane computes exactly what the reference
// computes for its centre, operation by operation.
//
// The vector kernels take the centres whose disc stays within the image
// columns (mirrored rows are fine: the reflection of a row is the same for
// every centre of that row) and leave the left and right border columns to
// the generic walk. The image is read through a window of rows converted to
// double once, so the sample loop only loads and computes.
//
// Everything here is a template or forced inline: each kernel file compiles
// its own copy with its own instruction set, and no copy can stand in for
// another at link time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/avisynth_interface.h"
#include "propagation/chroma_average.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/generic_centres.h"
#include "propagation/propagation_pass.h"
#include "propagation/reflect.h"

// Largest radius the window holds; larger passes take the generic walk.
inline constexpr int kMaxLaneRadius = 12;
// Centres per window; the window adds `radius` columns on either side.
inline constexpr int kLaneTileWidth = 64;
inline constexpr int kLaneWindowWidth = kLaneTileWidth + 2 * kMaxLaneRadius;
inline constexpr int kLaneWindowRows = 2 * kMaxLaneRadius + 1;

// The rows around one centre row, as doubles: image row k sits in slot
// k % (2 * radius + 1), so moving down one centre row converts one row.
struct LaneWindow {
  double luma[kLaneWindowRows][kLaneWindowWidth];
  double u[kLaneWindowRows][kLaneWindowWidth];
  double v[kLaneWindowRows][kLaneWindowWidth];
};

// From this many samples per centre on, the Gaussian form memoises weights
// per lane and luma difference; below it the memo costs more than it saves.
inline constexpr int kLaneMemoSamples = 24;

// Everything one pass of the vector kernels works in, on the stack.
template <int kLanes>
struct LaneScratch {
  LaneWindow window;
  // Weights of the current run computed once per luma value (linear form,
  // at [value * kLanes + lane]) or once per absolute luma difference
  // (Gaussian form, at [lane * 256 + difference], valid where
  // `filled_in_run` holds the current run's number).
  double weights[256 * kLanes];
  std::uint32_t filled_in_run[kLanes * 256];
  std::uint32_t run;
};

// One row of the square around a centre row that holds samples: its window
// slot and the samples' column offsets -half_width..half_width, without
// offset 0 on the centre's own (possibly mirrored) row.
struct LaneDiscRow {
  int slot;
  int half_width;
  bool skips_centre;
};

// The disc rows of centre row y in the order the reference visits them,
// the square's rows from top to bottom, each mirrored; returns how many.
// `samples` receives the sample count, the same for every centre of the row.
[[gnu::always_inline]] inline int lane_disc_rows(const PassSettings& settings, int y, LaneDiscRow* rows,
                                                 int& samples) {
  const int radius = settings.radius;
  const int radius_squared = radius * radius;
  const int slots = 2 * radius + 1;
  int count = 0;
  samples = 0;
  for (int n = y - radius; n <= y + radius; ++n) {
    const int row = reflect(n, settings.height);
    const int dy2 = (row - y) * (row - y);
    if (dy2 > radius_squared) continue;
    int half_width = 0;
    while ((half_width + 1) * (half_width + 1) + dy2 <= radius_squared) ++half_width;
    rows[count] = {row % slots, half_width, row == y};
    samples += 2 * half_width + 1 - (row == y ? 1 : 0);
    ++count;
  }
  return count;
}

// Calls visit(slot, column offset) for every sample of the centre row, in
// sample order.
template <class Visit>
[[gnu::always_inline]] inline void for_each_lane_sample(const LaneDiscRow* rows, int row_count, Visit&& visit) {
  for (int r = 0; r < row_count; ++r) {
    const LaneDiscRow& row = rows[r];
    for (int dx = -row.half_width; dx <= row.half_width; ++dx) {
      if (dx == 0 && row.skips_centre) continue;
      visit(row.slot, dx);
    }
  }
}

template <class Lanes>
struct LaneBlock {
  using D = typename Lanes::D;
  const LaneWindow& window;
  const LaneDiscRow* rows;
  int row_count;
  int column;  // window column of lane 0
};

// Weight sums of one run of centres; `weight(sample luma)` gives the lanes'
// weights for one sample.
template <class Lanes, class Weight>
[[gnu::always_inline]] inline void lane_weight_sums(const LaneBlock<Lanes>& block, Weight&& weight,
                                                    typename Lanes::D& weight_sum, typename Lanes::D& weighted_u,
                                                    typename Lanes::D& weighted_v) {
  using D = typename Lanes::D;
  D ws = Lanes::set1(0.0), us = Lanes::set1(0.0), vs = Lanes::set1(0.0);
  for_each_lane_sample(block.rows, block.row_count, [&](int slot, int dx) {
    const int column = block.column + dx;
    const D w = weight(Lanes::load(&block.window.luma[slot][column]));
    ws = Lanes::add(ws, w);
    us = Lanes::add(Lanes::mul(Lanes::load(&block.window.u[slot][column]), w), us);
    vs = Lanes::add(Lanes::mul(Lanes::load(&block.window.v[slot][column]), w), vs);
  });
  weight_sum = ws;
  weighted_u = us;
  weighted_v = vs;
}

// One run of Lanes::kLanes centres starting at image column x of row y;
// returns their largest change.
template <class Lanes>
[[gnu::always_inline]] inline int lane_block(const PassSettings& settings, const BYTE* current, BYTE* next,
                                             const LaneBlock<Lanes>& block, int samples, int centre_slot, int x,
                                             int y, LaneScratch<Lanes::kLanes>& scratch,
                                             GaussianWeightCache& cache) {
  using D = typename Lanes::D;
  constexpr int kLanes = Lanes::kLanes;

  // Luma sums in double are exact (integers far below 2^53), so they equal
  // the reference's integer sums converted.
  D luma_sum = Lanes::set1(0.0), luma_square_sum = Lanes::set1(0.0);
  D lowest = Lanes::set1(255.0), highest = Lanes::set1(0.0);
  for_each_lane_sample(block.rows, block.row_count, [&](int slot, int dx) {
    const D luma = Lanes::load(&block.window.luma[slot][block.column + dx]);
    luma_sum = Lanes::add(luma_sum, luma);
    luma_square_sum = Lanes::add(luma_square_sum, Lanes::mul(luma, luma));
    lowest = Lanes::min(lowest, luma);
    highest = Lanes::max(highest, luma);
  });
  // Dividing by a power of two is exactly multiplying by its reciprocal
  // (the sums are far from the ends of the exponent range), which saves
  // the divider for the weights, as with the four samples of radius 1.
  D mean, mean_square;
  if ((samples & (samples - 1)) == 0) {
    const D reciprocal_count = Lanes::set1(1.0 / samples);
    mean = Lanes::mul(luma_sum, reciprocal_count);
    mean_square = Lanes::mul(luma_square_sum, reciprocal_count);
  } else {
    const D count = Lanes::set1(static_cast<double>(samples));
    mean = Lanes::div(luma_sum, count);
    mean_square = Lanes::div(luma_square_sum, count);
  }
  const D variance = Lanes::sub(mean_square, Lanes::mul(mean, mean));
  const D centre_luma = Lanes::load(&block.window.luma[centre_slot][block.column]);
  const D zero = Lanes::set1(0.0);
  const D one = Lanes::set1(1.0);

  D weight_sum, weighted_u, weighted_v;
  if (settings.gaussian) {
    // Zero variance gives 1.0 through the final select, without a per-lane
    // branch.
    const D twice_variance = Lanes::add(variance, variance);
    if (samples < kLaneMemoSamples) {
      lane_weight_sums(
          block,
          [&](D sample_luma) {
            const D d = Lanes::sub(centre_luma, sample_luma);
            const D exponent = Lanes::div(Lanes::sub(zero, Lanes::mul(d, d)), twice_variance);
            alignas(64) double lane_value[kLanes];
            Lanes::store(lane_value, exponent);
            for (int i = 0; i < kLanes; ++i) lane_value[i] = cache.weight(lane_value[i]);
            return Lanes::select_if_equal(variance, zero, one, Lanes::load(lane_value));
          },
          weight_sum, weighted_u, weighted_v);
    } else {
      // Many samples share an absolute luma difference: each lane computes
      // the exponent once per difference in this run.
      alignas(64) double lane_twice_variance[kLanes];
      Lanes::store(lane_twice_variance, twice_variance);
      const std::uint32_t run = ++scratch.run;
      lane_weight_sums(
          block,
          [&](D sample_luma) {
            alignas(64) double lane_value[kLanes];
            Lanes::store(lane_value, Lanes::sub(centre_luma, sample_luma));
            for (int i = 0; i < kLanes; ++i) {
              const int difference = __builtin_abs(static_cast<int>(lane_value[i]));
              const int at = i * 256 + difference;
              if (scratch.filled_in_run[at] != run) {
                scratch.filled_in_run[at] = run;
                scratch.weights[at] =
                    cache.weight(static_cast<double>(-(difference * difference)) / lane_twice_variance[i]);
              }
              lane_value[i] = scratch.weights[at];
            }
            return Lanes::select_if_equal(variance, zero, one, Lanes::load(lane_value));
          },
          weight_sum, weighted_u, weighted_v);
    }
  } else {
    const D centre_deviation = Lanes::sub(centre_luma, mean);
    auto linear_weight = [&](D sample_luma) {
      const D w = Lanes::add(Lanes::mul(Lanes::div(Lanes::sub(sample_luma, mean), variance), centre_deviation), one);
      return Lanes::select_if_equal(variance, zero, one, w);
    };
    // A lane's weight depends only on the sample's luma. When the run's
    // samples take few luma values, computing the weight once per value
    // and looking it up spares most of the divisions.
    alignas(64) double lane_range[2][kLanes];
    Lanes::store(lane_range[0], lowest);
    Lanes::store(lane_range[1], highest);
    int low = 255, high = 0;
    for (int i = 0; i < kLanes; ++i) {
      low = lane_range[0][i] < low ? static_cast<int>(lane_range[0][i]) : low;
      high = lane_range[1][i] > high ? static_cast<int>(lane_range[1][i]) : high;
    }
    if (3 * (high - low + 1) < 2 * samples) {
      for (int value = low; value <= high; ++value)
        Lanes::store(&scratch.weights[(value - low) * kLanes], linear_weight(Lanes::set1(value)));
      alignas(64) double lane_offset[kLanes];
      for (int i = 0; i < kLanes; ++i) lane_offset[i] = i - low * kLanes;
      const D offset = Lanes::load(lane_offset);
      const D lanes = Lanes::set1(kLanes);
      lane_weight_sums(
          block, [&](D sample_luma) { return Lanes::gather(scratch.weights, Lanes::add(Lanes::mul(sample_luma, lanes), offset)); },
          weight_sum, weighted_u, weighted_v);
    } else {
      lane_weight_sums(block, linear_weight, weight_sum, weighted_u, weighted_v);
    }
  }

  const D reciprocal = Lanes::div(one, weight_sum);
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  const BYTE* centre = current + y * pitch + 3 * static_cast<std::size_t>(x);
  BYTE* out = next + y * pitch + 3 * static_cast<std::size_t>(x);
  int largest_change = kNoPixelsChange;

  if (Lanes::all_finite(reciprocal)) {
    // The usual case. Clamping to [0, 255] and truncating is chroma_byte
    // for every finite value, and finite is all the products can be here.
    const D low = Lanes::set1(0.0), high = Lanes::set1(255.0);
    alignas(64) double lane_u[kLanes], lane_v[kLanes];
    Lanes::store(lane_u, Lanes::min(Lanes::max(Lanes::mul(reciprocal, weighted_u), low), high));
    Lanes::store(lane_v, Lanes::min(Lanes::max(Lanes::mul(reciprocal, weighted_v), low), high));
    for (int i = 0; i < kLanes; ++i, centre += 3, out += 3) {
      const int u = static_cast<int>(lane_u[i]);
      const int v = static_cast<int>(lane_v[i]);
      const int du = __builtin_abs(centre[1] - u);
      const int dv = __builtin_abs(centre[2] - v);
      const int change = du > dv ? du : dv;
      largest_change = change > largest_change ? change : largest_change;
      out[0] = centre[0];
      out[1] = static_cast<BYTE>(u);
      out[2] = static_cast<BYTE>(v);
    }
    return largest_change;
  }

  // Some lane's weights all underflowed, or its weight sum is too small for
  // a finite reciprocal: the shared rules decide every lane.
  alignas(64) double sums[3][kLanes];
  Lanes::store(sums[0], weight_sum);
  Lanes::store(sums[1], weighted_u);
  Lanes::store(sums[2], weighted_v);
  for (int i = 0; i < kLanes; ++i, centre += 3, out += 3) {
    const ChromaResult result = chroma_average(sums[0][i], sums[1][i], sums[2][i], centre[1], centre[2]);
    const int change = chroma_change(centre[1], centre[2], result);
    if (change > largest_change) largest_change = change;
    out[0] = centre[0];
    out[1] = result.u;
    out[2] = result.v;
  }
  return largest_change;
}

// Converts image row `row`, columns [first, first + span), into a window slot.
[[gnu::always_inline]] inline void lane_window_load(LaneWindow& window, int slot, const BYTE* pixels, int span) {
  for (int c = 0; c < span; ++c, pixels += 3) {
    window.luma[slot][c] = pixels[0];
    window.u[slot][c] = pixels[1];
    window.v[slot][c] = pixels[2];
  }
}

// Centres [tile_begin, tile_end) of every row, tile_end - tile_begin between
// kLanes and kLaneTileWidth, all at least `radius` from either side.
template <class Lanes>
[[gnu::always_inline]] inline int lane_tile(const PassSettings& settings, const BYTE* current, BYTE* next,
                                            int tile_begin, int tile_end, LaneScratch<Lanes::kLanes>& scratch,
                                            GaussianWeightCache& cache) {
  LaneWindow& window = scratch.window;
  const int radius = settings.radius;
  const int slots = 2 * radius + 1;
  const int first_column = tile_begin - radius;
  const int span = tile_end - tile_begin + 2 * radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  int largest_change = kNoPixelsChange;
  int loaded = -1;
  for (int y = 0; y < settings.height; ++y) {
    const int needed = y + radius < settings.height ? y + radius : settings.height - 1;
    while (loaded < needed) {
      ++loaded;
      lane_window_load(window, loaded % slots, current + loaded * pitch + 3 * static_cast<std::size_t>(first_column),
                       span);
    }
    LaneDiscRow rows[kLaneWindowRows];
    int samples;
    const int row_count = lane_disc_rows(settings, y, rows, samples);
    for (int start = tile_begin; start < tile_end; start += Lanes::kLanes) {
      // The last run ends at the tile's end; it may repeat centres of the
      // run before it, which then store the same bytes again.
      const int x = start + Lanes::kLanes <= tile_end ? start : tile_end - Lanes::kLanes;
      const LaneBlock<Lanes> block{window, rows, row_count, x - first_column};
      const int change = lane_block<Lanes>(settings, current, next, block, samples, y % slots, x, y, scratch, cache);
      if (change > largest_change) largest_change = change;
    }
  }
  return largest_change;
}

// The whole pass with Lanes: vector runs over the columns whose discs stay
// inside the image, the generic walk elsewhere.
template <class Lanes>
int lane_pass(const PassSettings& settings, const BYTE* current, BYTE* next) {
  GaussianWeightCache cache;
  const int radius = settings.radius;
  const int width = settings.width;
  if (radius > kMaxLaneRadius || width - 2 * radius < Lanes::kLanes)
    return propagate_generic_columns(settings, current, next, 0, width, cache);

  int largest_change = propagate_generic_columns(settings, current, next, 0, radius, cache);
  const int right = propagate_generic_columns(settings, current, next, width - radius, width, cache);
  if (right > largest_change) largest_change = right;

  LaneScratch<Lanes::kLanes> scratch;
  std::memset(scratch.filled_in_run, 0, sizeof scratch.filled_in_run);
  scratch.run = 0;
  const int interior_end = width - radius;
  for (int begin = radius; begin < interior_end; begin += kLaneTileWidth) {
    const int end = begin + kLaneTileWidth < interior_end ? begin + kLaneTileWidth : interior_end;
    const int tile_begin = end - begin >= Lanes::kLanes ? begin : end - Lanes::kLanes;
    const int change = lane_tile<Lanes>(settings, current, next, tile_begin, end, scratch, cache);
    if (change > largest_change) largest_change = change;
  }
  return largest_change;
}
