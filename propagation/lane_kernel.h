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
// the straightforward walk (border_columns.h). The image is read through a
// window of rows converted to double once, so the sample loop only loads
// and computes. The window and every other table of more than a few hundred
// bytes live in the caller's workspace (pass_workspace.h), not on the
// stack.
//
// The lane operations are those of the PassLanes concept
// (lane_operations.h); the weight (affinity.h) and the store
// (chroma_store.h) are the very templates the straightforward pass runs.
//
// The body is written once over the sample type too: byte images of 8-bit
// clips and wide images of std::uint16_t codes run the same sums, in the
// same order, on the same doubles; only the chroma range words and the
// Gaussian weights (lane_tile says how) differ by sample type.
//
// Everything here is a template or forced inline: each kernel file compiles
// its own copy with its own instruction set, and no copy can stand in for
// another at link time.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "propagation/affinity.h"
#include "propagation/bounded_gaussian_power.h"
#include "propagation/chroma_store.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/border_columns.h"
#include "propagation/lane_operations.h"
#include "propagation/lane_weight_table.h"
#include "propagation/pass_workspace.h"
#include "propagation/propagation_pass.h"
#include "propagation/reflect.h"

namespace quillfen {

// A pixel's U, V, L - U and L - V in fields 0 to 3 of a 64-bit word, L the
// largest sample: fields of a byte for byte images, of 16 bits for wide
// ones, so that four fields always fill half the word or all of it.
template <class Sample>
struct ChromaRangeWords {
  static constexpr int kFieldBits = 8 * static_cast<int>(sizeof(Sample));
  static constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << kFieldBits) - 1;
  static constexpr int kLargest = kLargestSample<Sample>;

  // Made in the narrowest integer the fields fill: 64-bit arithmetic made
  // the byte images' window loads slower.
  using Fields = std::conditional_t<kFieldBits == 8, std::uint32_t, std::uint64_t>;
  [[gnu::always_inline]] static std::uint64_t word(int u, int v) {
    return static_cast<Fields>(u) | static_cast<Fields>(v) << kFieldBits |
           static_cast<Fields>(kLargest - u) << 2 * kFieldBits | static_cast<Fields>(kLargest - v) << 3 * kFieldBits;
  }

  [[gnu::always_inline]] static int field(std::uint64_t word, int k) {
    return static_cast<int>(word >> k * kFieldBits & kFieldMask);
  }

  // The range that the field-wise minimum of such words stands for.
  [[gnu::always_inline]] static ChromaRange<Sample> range(std::uint64_t word) {
    return {field(word, 0), kLargest - field(word, 2), field(word, 1), kLargest - field(word, 3)};
  }
};

// The word of the whole range 0..L, for either sample type.
inline constexpr std::uint64_t kWholeChromaRangeWord = 0;

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
// sample order, and row_start(r) before the samples of disc row r.
template <class RowStart, class Visit>
[[gnu::always_inline]] inline void for_each_lane_sample(const LaneDiscRow* rows, int row_count, RowStart&& row_start,
                                                        Visit&& visit) {
  for (int r = 0; r < row_count; ++r) {
    const LaneDiscRow& row = rows[r];
    row_start(r);
    for (int dx = -row.half_width; dx <= row.half_width; ++dx) {
      if (dx == 0 && row.skips_centre) continue;
      visit(row.slot, dx);
    }
  }
}

template <class Visit>
[[gnu::always_inline]] inline void for_each_lane_sample(const LaneDiscRow* rows, int row_count, Visit&& visit) {
  for_each_lane_sample(rows, row_count, [](int) {}, visit);
}

// What every run of one centre row shares.
template <class Lanes>
struct LaneRow {
  const LaneWindow& window;
  const LaneDiscRow* rows;
  int row_count;
  int centre_slot;
  typename Lanes::Divisor by_count;  // the row's sample count
};

// The lanes' sums over their samples, and the range that bounds each
// lane's new value: the samples' chroma for the linear form, the sample
// type's whole range for the Gaussian one (lane_weight_sums says why).
template <class Lanes>
struct LaneSums {
  typename Lanes::D weight, u, v;
  typename Lanes::Range range;  // of chroma_range words
};

// Weight sums of one run of centres; `weight(sample luma)` gives the lanes'
// weights for one sample. Results are handed back through references
// throughout: a returned aggregate of registers would be copied through
// memory in halves and read back whole, which stalls.
//
// Only weights that can be negative need the range of the samples' chroma:
// `RangeSample` names the sample type whose range words the sums gather,
// or is void for weights that never are (the Gaussian form), which give the
// same sample bounded by the sample type's whole range. Their average of
// the exact sums lies within the samples' [min, max], and the rounded one
// stays within 65535 x 2^-42 < 2^-26 of it: the chroma values are whole
// numbers and the weights doubles, so every product and partial sum is a
// multiple of 2^-1074 and is either exact or rounded within 2^-53 of
// itself, also where weights are subnormal; over at most 625 samples the
// sums are within a relative 2^-43 of the exact ones, and the reciprocal
// and its product, or the division, add 2^-52. A value that is never
// negative and lies that close to whole bounds rounds (halves up) to the
// sample the bounded value rounds to: just below min it rounds up to min,
// just above max down to max.
//
// `row_start(r)` is called before the samples of disc row r, for weights
// made a row at a time.
template <class Lanes, class RangeSample, class Weight, class RowStart>
[[gnu::always_inline]] inline void lane_weight_sums(const LaneRow<Lanes>& row, int column, Weight&& weight,
                                                    RowStart&& row_start, LaneSums<Lanes>& sums) {
  using D = typename Lanes::D;
  D ws = Lanes::set1(0.0), us = Lanes::set1(0.0), vs = Lanes::set1(0.0);
  constexpr bool kGathersRange = !std::is_void_v<RangeSample>;
  typename Lanes::Range range = Lanes::range_set1(kGathersRange ? ~std::uint64_t{0} : kWholeChromaRangeWord);
  for_each_lane_sample(row.rows, row.row_count, row_start, [&](int slot, int dx) {
    const D w = weight(Lanes::load(&row.window.luma[slot][column + dx]));
    const D u = Lanes::load(&row.window.u[slot][column + dx]);
    const D v = Lanes::load(&row.window.v[slot][column + dx]);
    ws = Lanes::add(ws, w);
    us = Lanes::add(Lanes::mul(u, w), us);
    vs = Lanes::add(Lanes::mul(v, w), vs);
    if constexpr (kGathersRange)
      range = Lanes::template range_min<RangeSample>(range,
                                                     Lanes::range_load(&row.window.chroma_range[slot][column + dx]));
  });
  sums.weight = ws;
  sums.u = us;
  sums.v = vs;
  sums.range = range;
}

// Writes `lanes` pixels from the lanes' new chroma, already whole numbers
// within the sample type, with the centres' luma; for kernels without a
// vector store.
template <class Sample>
[[gnu::always_inline]] inline void store_lane_pixels(Sample* out, const Sample* centre, const double* u,
                                                     const double* v, int lanes) {
  for (int i = 0; i < lanes; ++i, centre += 3, out += 3) {
    out[0] = centre[0];
    out[1] = static_cast<Sample>(static_cast<int>(u[i]));
    out[2] = static_cast<Sample>(static_cast<int>(v[i]));
  }
}

// How a run's weights are made.
enum class LaneWeights {
  kLinear,
  // The memo looked up for every sample: cheapest when a centre has few
  // samples, most of them of distinct luma differences.
  kGaussianPerSample,
  // One power per distinct difference of each centre of the run
  // (lane_weight_table.h): pays once centres have many samples each.
  kGaussianTable,
  // One power per sample, the run's exponents listed a few disc rows at a
  // time and their powers made in one sweep (Lanes::gaussian_powers): for
  // wide samples, whose differences reach 65535, too many for a table. Their
  // exponents recur too seldom for the memo: a lookup, mostly a miss far
  // out in the second-level cache, cost more than the power it would
  // save.
  kGaussianListed,
};

// The weights one by one, for kernels without a vector form of the power.
[[gnu::always_inline]] inline void scalar_gaussian_powers(const double* exponents, double* powers, int count) {
  for (int i = 0; i < count; ++i) powers[i] = gaussian_power(exponents[i]);
}

// Sample counts from which kGaussianTable is the faster: radius 2 and up
// in the interior.
inline constexpr int kGaussianTableSamples = 12;

// Mean and variance of the luma of a run's samples.
template <PassLanes Lanes>
struct LaneStatistics {
  typename Lanes::D mean, variance;
};

// Luma sums in double are exact (integers far below 2^53), so they equal
// the straightforward pass's integer sums converted. For the weight table
// the sweep also marks the luma differences each lane meets: the small
// ones, which neighbouring pixels nearly always have, as it goes, and the
// few of kNarrowDifferences and up in a second sweep, only when some lane
// met one.
template <PassLanes Lanes, LaneWeights kWeights>
[[gnu::always_inline]] inline void lane_statistics(const LaneRow<Lanes>& row, int column, typename Lanes::D centre_luma,
                                                  typename Lanes::Marks& marks, LaneStatistics<Lanes>& stats) {
  using D = typename Lanes::D;
  D luma_sum = Lanes::set1(0.0), luma_square_sum = Lanes::set1(0.0);
  for_each_lane_sample(row.rows, row.row_count, [&](int slot, int dx) {
    const D luma = Lanes::load(&row.window.luma[slot][column + dx]);
    luma_sum = Lanes::add(luma_sum, luma);
    luma_square_sum = Lanes::add(luma_square_sum, Lanes::mul(luma, luma));
    if constexpr (kWeights == LaneWeights::kGaussianTable) Lanes::mark(marks, Lanes::abs(Lanes::sub(centre_luma, luma)));
  });
  if constexpr (kWeights == LaneWeights::kGaussianTable)
    if (Lanes::needs_wide(marks)) {
      Lanes::open_wide(marks);
      for_each_lane_sample(row.rows, row.row_count, [&](int slot, int dx) {
        Lanes::mark_wide(marks, Lanes::abs(Lanes::sub(centre_luma, Lanes::load(&row.window.luma[slot][column + dx]))));
      });
    }
  stats.mean = Lanes::divide(luma_sum, row.by_count);
  stats.variance = Lanes::sub(Lanes::divide(luma_square_sum, row.by_count), Lanes::mul(stats.mean, stats.mean));
}

// The weight sums of a run in each mode.
template <PassLanes Lanes, class Sample>
[[gnu::always_inline]] inline void linear_lane_sums(const LaneRow<Lanes>& row, int column,
                                                   typename Lanes::D centre_luma,
                                                   const LaneStatistics<Lanes>& stats, LaneSums<Lanes>& sums) {
  using D = typename Lanes::D;
  const typename Lanes::Divisor by_variance = Lanes::divisor(stats.variance);
  const D centre_deviation = Lanes::sub(centre_luma, stats.mean);
  lane_weight_sums<Lanes, Sample>(
      row, column,
      [&](D sample_luma) { return linear_weight<Lanes>(sample_luma, stats.mean, by_variance, centre_deviation); },
      [](int) {}, sums);
}

// Every sample's lookup is issued before any miss is served: the memo lives
// in the second-level cache, and a miss served at once would hold up the
// lookups behind it. This mode has fewer than kGaussianTableSamples samples.
template <PassLanes Lanes>
[[gnu::always_inline]] inline void gaussian_lane_sums(const LaneRow<Lanes>& row, int column,
                                                     typename Lanes::D centre_luma,
                                                     const LaneStatistics<Lanes>& stats, GaussianWeightCache& memo,
                                                     LaneSums<Lanes>& sums) {
  using D = typename Lanes::D;
  const typename Lanes::Divisor by_exponent_divisor = gaussian_exponent_divisor<Lanes>(stats.variance);
  D exponents[kGaussianTableSamples], weights[kGaussianTableSamples];
  typename Lanes::Misses misses[kGaussianTableSamples];
  int samples = 0;
  for_each_lane_sample(row.rows, row.row_count, [&](int slot, int dx) {
    const D difference = Lanes::sub(centre_luma, Lanes::load(&row.window.luma[slot][column + dx]));
    exponents[samples] = gaussian_exponent<Lanes>(difference, by_exponent_divisor);
    weights[samples] = Lanes::memo_weights(exponents[samples], Lanes::kAllLanes, memo, misses[samples]);
    ++samples;
  });
  for (int s = 0; s < samples; ++s) Lanes::serve_misses(weights[s], exponents[s], misses[s], memo);
  int next_sample = 0;
  lane_weight_sums<Lanes, void>(
      row, column, [&](D) { return weights[next_sample++]; }, [](int) {}, sums);
}

template <PassLanes Lanes>
[[gnu::always_inline]] inline void gaussian_table_lane_sums(
    const LaneRow<Lanes>& row, int column, typename Lanes::D centre_luma, const LaneStatistics<Lanes>& stats,
    const typename Lanes::Marks& marks, GaussianWeightCache& memo, PassWorkspace& workspace, LaneSums<Lanes>& sums) {
  using D = typename Lanes::D;
  LaneWeightTable& table = workspace.table;
  Lanes::fill_weight_table(table.weights, marks, stats.variance, memo, workspace.weight_fill);
  lane_weight_sums<Lanes, void>(
      row, column,
      [&](D sample_luma) {
        return Lanes::table_weights(table.weights, Lanes::abs(Lanes::sub(centre_luma, sample_luma)));
      },
      [](int) {}, sums);
}

// As each disc row begins that the list does not hold yet, the exponents of
// the samples of that row and of the rows after it that fit are listed,
// sample by sample, each sample's lanes side by side, and their powers made
// in one sweep; the sums then read the weights in the same order.
template <PassLanes Lanes>
[[gnu::always_inline]] inline void gaussian_listed_lane_sums(const LaneRow<Lanes>& row, int column,
                                                            typename Lanes::D centre_luma,
                                                            const LaneStatistics<Lanes>& stats,
                                                            ListedWeights& listed_weights, LaneSums<Lanes>& sums) {
  using D = typename Lanes::D;
  constexpr int kLanes = Lanes::kLanes;
  const typename Lanes::Divisor by_exponent_divisor = gaussian_exponent_divisor<Lanes>(stats.variance);
  double* const exponents = listed_weights.exponents;
  const double* const weights = listed_weights.weights;
  int listed_rows_end = 0, next_weight = 0;
  const auto list_rows_from = [&](int first) {
    if (first < listed_rows_end) return;
    int listed = 0, end = first;
    for (; end < row.row_count; ++end) {
      const LaneDiscRow& disc_row = row.rows[end];
      const int samples = 2 * disc_row.half_width + 1 - (disc_row.skips_centre ? 1 : 0);
      if (listed + samples > kListedSamples) break;
      for (int dx = -disc_row.half_width; dx <= disc_row.half_width; ++dx) {
        if (dx == 0 && disc_row.skips_centre) continue;
        const D difference = Lanes::sub(centre_luma, Lanes::load(&row.window.luma[disc_row.slot][column + dx]));
        Lanes::store(exponents + listed * kLanes, gaussian_exponent<Lanes>(difference, by_exponent_divisor));
        ++listed;
      }
    }
    listed_rows_end = end;
    Lanes::gaussian_powers(exponents, listed_weights.weights, listed * kLanes);
    next_weight = 0;
  };
  lane_weight_sums<Lanes, void>(
      row, column, [&](D) { return Lanes::load(weights + kLanes * next_weight++); }, list_rows_from, sums);
}

// Stores a run's new chroma `u` and `v`, whole numbers within the sample
// type, with the centres' luma, and raises `largest` lane by lane to the
// centres' changes.
template <PassLanes Lanes, class Sample>
[[gnu::always_inline]] inline void lane_store(const LaneRow<Lanes>& row, int column, typename Lanes::D u,
                                              typename Lanes::D v, const Sample* centre, Sample* out,
                                              typename Lanes::D& largest) {
  const typename Lanes::D du = Lanes::abs(Lanes::sub(Lanes::load(&row.window.u[row.centre_slot][column]), u));
  const typename Lanes::D dv = Lanes::abs(Lanes::sub(Lanes::load(&row.window.v[row.centre_slot][column]), v));
  largest = Lanes::max(largest, Lanes::max(du, dv));
  Lanes::store_pixels(out, centre, u, v);
}

// The new chroma of a run from its sums, stored with the centres' luma.
// Raises `largest` lane by lane to the centres' changes, or, on the rare
// path, `largest_rare`.
template <PassLanes Lanes, class Sample>
[[gnu::always_inline]] inline void lane_finish(const LaneRow<Lanes>& row, int column, const LaneSums<Lanes>& sums,
                                               const Sample* centre, Sample* out, typename Lanes::D& largest,
                                               int& largest_rare) {
  using D = typename Lanes::D;
  constexpr int kLanes = Lanes::kLanes;
  const D reciprocal = Lanes::div(Lanes::set1(1.0), sums.weight);
  if (Lanes::all_finite(reciprocal)) {
    // The usual case, where every product is finite.
    const D high = Lanes::set1(kLargestSample<Sample>);
    const D u =
        bounded_chroma<Lanes>(Lanes::mul(reciprocal, sums.u), Lanes::template range_field<Sample, 0>(sums.range),
                              Lanes::sub(high, Lanes::template range_field<Sample, 2>(sums.range)));
    const D v =
        bounded_chroma<Lanes>(Lanes::mul(reciprocal, sums.v), Lanes::template range_field<Sample, 1>(sums.range),
                              Lanes::sub(high, Lanes::template range_field<Sample, 3>(sums.range)));
    lane_store(row, column, u, v, centre, out, largest);
    return;
  }

  // Some lane's weights all underflowed, or its weight sum is too small for
  // a finite reciprocal: the straightforward pass's own average decides
  // every lane.
  alignas(64) double lane[3][kLanes];
  alignas(64) std::uint64_t lane_range[kLanes];
  Lanes::store(lane[0], sums.weight);
  Lanes::store(lane[1], sums.u);
  Lanes::store(lane[2], sums.v);
  Lanes::range_store(lane_range, sums.range);
  for (int i = 0; i < kLanes; ++i, centre += 3, out += 3) {
    const ChromaResult<Sample> result = chroma_average(lane[0][i], lane[1][i], lane[2][i],
                                                       ChromaRangeWords<Sample>::range(lane_range[i]), centre[1],
                                                       centre[2]);
    const int change = chroma_change(centre[1], centre[2], result);
    if (change > largest_rare) largest_rare = change;
    store_centre(out, centre, result);
  }
}

// Kernels with a bounded form of the Gaussian weight
// (bounded_gaussian_power.h), a test that no lane is nonzero and the fused
// multiply-add fmadd(a, b, c) = RN(a * b + c).
template <class Lanes>
concept BoundedGaussianLanes = requires(typename Lanes::D a) {
  { Lanes::bounded_gaussian_power(a) } -> std::same_as<typename Lanes::D>;
  { Lanes::all_zero(a) } -> std::same_as<bool>;
  { Lanes::fmadd(a, a, a) } -> std::same_as<typename Lanes::D>;
};

// How far the new value from the bounded weights may lie from the one
// from the exact weights, for byte images, with the roundings of the
// interval's ends: above 255 e / (1 - e) + 2^-33.7 + 2^-46 < 2^-18.40 for
// e = kBoundedPowerError (docs/performance.md, "Deciding each stored
// value").
inline constexpr double kBoundedChromaMargin = 0x1p-18;

// A run of the Gaussian form from the bounded weights, where that decides
// every lane's stored chroma: each weight within a relative
// kBoundedPowerError (plus the exponent's own rounding) of the exact one,
// so the new value within kBoundedChromaMargin of the exact path's.
// A lane is decided when both ends of that interval store the same byte,
// or when its variance is 0, where every bounded weight is exactly 1.0,
// the exact one, and the sums, made in the same order, are the exact
// path's bit for bit: the fused u x 1.0 + sum rounds once, as the exact
// path's sum of the exact product does. A lane whose smallest
// exponent lies below kBoundedPowerLowestExponent is not decided (its
// weights may be subnormal or 0, outside the bound). Returns false, having
// stored nothing, when some lane is not decided.
//
// The exponent is d^2 times the exponent of difference 1, which differs
// from the exact one, d^2 divided as one quotient, by at most three
// roundings: the weight affinity.h makes is linear in d^2 in its exponent.
template <PassLanes Lanes>
  requires BoundedGaussianLanes<Lanes>
[[gnu::always_inline]] inline bool bounded_gaussian_lane_block(const LaneRow<Lanes>& row, int column,
                                                             typename Lanes::D centre_luma,
                                                             const LaneStatistics<Lanes>& stats,
                                                             const std::uint8_t* centre, std::uint8_t* out,
                                                             typename Lanes::D& largest) {
  using D = typename Lanes::D;
  const D unit_exponent =
      gaussian_exponent<Lanes>(Lanes::set1(1.0), gaussian_exponent_divisor<Lanes>(stats.variance));
  D lowest = Lanes::set1(0.0), ws = Lanes::set1(0.0), us = Lanes::set1(0.0), vs = Lanes::set1(0.0);
  for_each_lane_sample(row.rows, row.row_count, [&](int slot, int dx) {
    const D difference = Lanes::sub(centre_luma, Lanes::load(&row.window.luma[slot][column + dx]));
    const D exponent = Lanes::mul(Lanes::mul(difference, difference), unit_exponent);
    lowest = Lanes::min(lowest, exponent);
    const D w = Lanes::bounded_gaussian_power(exponent);
    ws = Lanes::add(ws, w);
    us = Lanes::fmadd(Lanes::load(&row.window.u[slot][column + dx]), w, us);
    vs = Lanes::fmadd(Lanes::load(&row.window.v[slot][column + dx]), w, vs);
  });
  const D reciprocal = Lanes::div(Lanes::set1(1.0), ws);
  const D u = Lanes::mul(reciprocal, us);
  const D v = Lanes::mul(reciprocal, vs);
  const D low = Lanes::set1(0.0), high = Lanes::set1(kLargestSample<std::uint8_t>);
  // No margin where the variance is 0 (not at least the least positive
  // double).
  const D margin =
      Lanes::mul(Lanes::at_least(stats.variance, Lanes::set1(0x1p-1074)), Lanes::set1(kBoundedChromaMargin));
  // 1 where the two ends of the interval store different bytes, else 0.
  const auto spread = [&](D value) {
    return Lanes::sub(bounded_chroma<Lanes>(Lanes::add(value, margin), low, high),
                      bounded_chroma<Lanes>(Lanes::sub(value, margin), low, high));
  };
  const D out_of_bound =
      Lanes::sub(Lanes::set1(1.0), Lanes::at_least(lowest, Lanes::set1(kBoundedPowerLowestExponent)));
  if (!Lanes::all_zero(Lanes::add(Lanes::add(spread(u), spread(v)), out_of_bound))) return false;
  lane_store(row, column, bounded_chroma<Lanes>(u, low, high), bounded_chroma<Lanes>(v, low, high), centre, out,
             largest);
  return true;
}

// One run of Lanes::kLanes centres at window column `column`; `centre` and
// `out` point at the run's first pixel in the two images. Only the
// Gaussian modes of byte images use the memo.
template <PassLanes Lanes, LaneWeights kWeights, class Sample>
[[gnu::always_inline]] inline void lane_block(const LaneRow<Lanes>& row, int column, const Sample* centre, Sample* out,
                                              GaussianWeightCache* memo, PassWorkspace& workspace,
                                              typename Lanes::D& largest, int& largest_rare) {
  static_assert(Lanes::kLanes <= kMaxTableLanes);
  const typename Lanes::D centre_luma = Lanes::load(&row.window.luma[row.centre_slot][column]);
  LaneStatistics<Lanes> stats;
  LaneSums<Lanes> sums;
  typename Lanes::Marks marks = Lanes::no_marks();
  // Byte images' Gaussian runs first try the bounded weights; the few runs
  // they leave undecided take the exact ones below.
  if constexpr (kWeights == LaneWeights::kGaussianTable && BoundedGaussianLanes<Lanes> &&
                std::is_same_v<Sample, std::uint8_t>) {
    lane_statistics<Lanes, LaneWeights::kLinear>(row, column, centre_luma, marks, stats);
    if (bounded_gaussian_lane_block(row, column, centre_luma, stats, centre, out, largest)) {
      ++workspace.gaussian_runs.bounded;
      return;
    }
    ++workspace.gaussian_runs.exact;
  }
  lane_statistics<Lanes, kWeights>(row, column, centre_luma, marks, stats);
  if constexpr (kWeights == LaneWeights::kLinear)
    linear_lane_sums<Lanes, Sample>(row, column, centre_luma, stats, sums);
  else if constexpr (kWeights == LaneWeights::kGaussianPerSample)
    gaussian_lane_sums(row, column, centre_luma, stats, *memo, sums);
  else if constexpr (kWeights == LaneWeights::kGaussianTable)
    gaussian_table_lane_sums(row, column, centre_luma, stats, marks, *memo, workspace, sums);
  else
    gaussian_listed_lane_sums(row, column, centre_luma, stats, workspace.listed, sums);
  lane_finish(row, column, sums, centre, out, largest, largest_rare);
}

// Converts `span` pixels of an image row into a window slot, with their
// chroma range words where the sums take the range. The window's rows and
// the image never overlap; restrict says so, since a byte read may alias
// any store and the workspace is memory the compiler cannot tell apart from
// the image's.
template <class Sample>
[[gnu::always_inline]] inline void lane_window_load(LaneWindow& window, int slot, const Sample* __restrict pixels,
                                                    int span, bool with_range) {
  double* __restrict luma = window.luma[slot];
  double* __restrict u = window.u[slot];
  double* __restrict v = window.v[slot];
  std::uint64_t* __restrict chroma_range = window.chroma_range[slot];
  for (int c = 0; c < span; ++c, pixels += 3) {
    luma[c] = pixels[0];
    u[c] = pixels[1];
    v[c] = pixels[2];
    if (with_range) chroma_range[c] = ChromaRangeWords<Sample>::word(pixels[1], pixels[2]);
  }
}

// Centres [tile_begin, tile_end) of every row, tile_end - tile_begin between
// kLanes and kLaneTileWidth, all at least `radius` from either side. Byte
// images take the Gaussian weights per sample from the memo for small
// discs and from the weight table for larger ones; wide images list them
// (kGaussianListed).
template <PassLanes Lanes, class Sample>
[[gnu::always_inline]] inline int lane_tile(const PassSettings& settings, const Sample* current, Sample* next,
                                            int tile_begin, int tile_end, GaussianWeightCache* memo,
                                            PassWorkspace& workspace) {
  LaneWindow& window = workspace.window;
  using D = typename Lanes::D;
  const int radius = settings.radius;
  const int slots = 2 * radius + 1;
  const int first_column = tile_begin - radius;
  const int span = tile_end - tile_begin + 2 * radius;
  const std::size_t pitch = static_cast<std::size_t>(3) * static_cast<std::size_t>(settings.width);
  // Changes are never negative: -1 stays only when there are no rows.
  D largest = Lanes::set1(-1.0);
  int largest_rare = kNoPixelsChange;
  int loaded = -1;
  for (int y = 0; y < settings.height; ++y) {
    const int needed = y + radius < settings.height ? y + radius : settings.height - 1;
    while (loaded < needed) {
      ++loaded;
      const Sample* pixels = current + loaded * pitch + 3 * static_cast<std::size_t>(first_column);
      // The tile walks down a narrow strip of the image, which the
      // hardware prefetchers do not foresee: ask for the next row now.
      if (loaded + 1 < settings.height) {
        const auto* next_row = reinterpret_cast<const char*>(pixels + pitch);
        for (int offset = 0; offset < 3 * span * static_cast<int>(sizeof(Sample)); offset += 64)
          __builtin_prefetch(next_row + offset);
      }
      lane_window_load(window, loaded % slots, pixels, span, !settings.gaussian);
    }
    LaneDiscRow rows[kLaneWindowRows];
    int samples;
    const int row_count = lane_disc_rows(settings, y, rows, samples);
    const LaneRow<Lanes> row{window, rows, row_count, y % slots,
                             Lanes::divisor(Lanes::set1(static_cast<double>(samples)))};
    for (int start = tile_begin; start < tile_end; start += Lanes::kLanes) {
      // The last run ends at the tile's end; it may repeat centres of the
      // run before it, which then store the same bytes again.
      const int x = start + Lanes::kLanes <= tile_end ? start : tile_end - Lanes::kLanes;
      const std::size_t at = y * pitch + 3 * static_cast<std::size_t>(x);
      if (!settings.gaussian)
        lane_block<Lanes, LaneWeights::kLinear>(row, x - first_column, current + at, next + at, memo, workspace,
                                                largest, largest_rare);
      else if constexpr (sizeof(Sample) > 1)
        lane_block<Lanes, LaneWeights::kGaussianListed>(row, x - first_column, current + at, next + at, memo,
                                                        workspace, largest, largest_rare);
      else if (samples < kGaussianTableSamples)
        lane_block<Lanes, LaneWeights::kGaussianPerSample>(row, x - first_column, current + at, next + at, memo,
                                                           workspace, largest, largest_rare);
      else
        lane_block<Lanes, LaneWeights::kGaussianTable>(row, x - first_column, current + at, next + at, memo,
                                                       workspace, largest, largest_rare);
    }
  }
  alignas(64) double lane_largest[Lanes::kLanes];
  Lanes::store(lane_largest, largest);
  int largest_change = largest_rare;
  for (const double change : lane_largest)
    if (change >= 0.0 && static_cast<int>(change) > largest_change) largest_change = static_cast<int>(change);
  return largest_change;
}

// The whole pass with Lanes: vector runs over the columns whose discs stay
// inside the image, the straightforward walk elsewhere.
template <PassLanes Lanes, class Sample>
int lane_pass(const PassSettings& settings, const Sample* current, Sample* next, GaussianWeightCache* memo,
              PassWorkspace& workspace) {
  if (settings.gaussian) memo->clear();
  const int radius = settings.radius;
  const int width = settings.width;
  if (radius > kMaxLaneRadius || width - 2 * radius < Lanes::kLanes)
    return propagate_border_columns(settings, current, next, 0, width, memo);

  int largest_change = propagate_border_columns(settings, current, next, 0, radius, memo);
  const int right = propagate_border_columns(settings, current, next, width - radius, width, memo);
  if (right > largest_change) largest_change = right;

  const int interior_end = width - radius;
  for (int begin = radius; begin < interior_end; begin += kLaneTileWidth) {
    const int end = begin + kLaneTileWidth < interior_end ? begin + kLaneTileWidth : interior_end;
    const int tile_begin = end - begin >= Lanes::kLanes ? begin : end - Lanes::kLanes;
    const int change = lane_tile<Lanes, Sample>(settings, current, next, tile_begin, end, memo, workspace);
    if (change > largest_change) largest_change = change;
  }
  return largest_change;
}

}  // namespace quillfen
