// What the pass code shared by every path asks of a set of lane
// operations. A lane is one centre pixel; `D` holds kLanes doubles, one per
// lane, and every operation acts lane by lane, rounding exactly as the same
// double operation would, with nothing fused that is not named so.
#pragma once

#include <concepts>
#include <cstdint>

namespace quillfen {

class GaussianWeightCache;
struct WeightFillSpace;

// The arithmetic of the weights and of the store. ScalarLanes meets it on
// single doubles, so the straightforward pass runs the very code the vector
// kernels run. min and max return their first operand where the two are
// equal; truncate rounds toward zero; at_least gives 1.0 where a >= b and
// 0.0 elsewhere. divisor(b) prepares b once for divide(a, by), which gives
// the correctly rounded a / b, and a zero (of either sign) where b is 0.
template <class L>
concept LaneArithmetic = requires(typename L::D a, typename L::D b, double x, const typename L::Divisor& by) {
  requires std::convertible_to<decltype(L::kLanes), int>;
  { L::set1(x) } -> std::same_as<typename L::D>;
  { L::add(a, b) } -> std::same_as<typename L::D>;
  { L::sub(a, b) } -> std::same_as<typename L::D>;
  { L::mul(a, b) } -> std::same_as<typename L::D>;
  { L::min(a, b) } -> std::same_as<typename L::D>;
  { L::max(a, b) } -> std::same_as<typename L::D>;
  { L::truncate(a) } -> std::same_as<typename L::D>;
  { L::at_least(a, b) } -> std::same_as<typename L::D>;
  { L::divisor(a) } -> std::same_as<typename L::Divisor>;
  { L::divide(a, by) } -> std::same_as<typename L::D>;
};

// Everything the vector pass (lane_kernel.h) needs besides the arithmetic:
// - load and store of kLanes doubles, div (a plain quotient), abs, and
//   all_finite (whether every lane is finite);
// - Range, range_load, range_store, range_set1 and range_min<Sample>:
//   registers of kLanes 64-bit words and their minimum field by field, in
//   fields of Sample's width (8 or 16 bits); range_field<Sample, k>(r):
//   each lane's field k as a double;
// - LaneMask, kAllLanes, Misses, memo_weights(exponent, lanes, memo,
//   misses) and serve_misses(weights, exponent, misses, memo): together the
//   memo's weight of every lane in the mask `lanes`, zero in the others;
//   memo_weights may leave lanes it records in `misses` unknown, and
//   serve_misses then completes them, so that a run can issue all its
//   lookups before it waits on any;
// - Marks, no_marks(), mark(marks, difference), needs_wide(marks),
//   open_wide(marks) and mark_wide(marks, difference): each lane's set of
//   absolute luma differences (whole numbers 0..255: byte images only) met
//   so far. mark adds at least the differences below kNarrowDifferences;
//   needs_wide tells whether it left out any; after open_wide, mark_wide
//   adds the others;
// - fill_weight_table(weights, marks, variance, memo, space): each lane's
//   Gaussian weight at every difference in its set, into the lanes' part
//   `weights` of a LaneWeightTable (lane_weight_table.h gives the layout),
//   with any lists it makes on the way in `space` (pass_workspace.h);
// - table_weights(weights, difference): each lane's weight at its
//   difference from that table;
// - gaussian_powers(exponents, powers, count): the Gaussian weight
//   (gaussian_power in affinity.h) for `count` exponents q, bit for bit;
// - store_pixels(out, centre, u, v): kLanes pixels (bytes or wide samples)
//   of the centres' luma and the lanes' new chroma, whole numbers within
//   the sample type.
template <class L>
concept PassLanes = LaneArithmetic<L> &&
    requires(typename L::D a, typename L::D& weights, double* p, const double* cp, std::uint64_t* words,
             const std::uint64_t* cwords, typename L::Range r, typename L::Misses& misses,
             typename L::Marks& marks, const typename L::Divisor& by, GaussianWeightCache& memo,
             WeightFillSpace& space,
             std::uint8_t* out, const std::uint8_t* centre, std::uint16_t* wide_out,
             const std::uint16_t* wide_centre, int count) {
  { L::load(cp) } -> std::same_as<typename L::D>;
  L::store(p, a);
  { L::div(a, a) } -> std::same_as<typename L::D>;
  { L::abs(a) } -> std::same_as<typename L::D>;
  { L::all_finite(a) } -> std::same_as<bool>;
  { L::range_load(cwords) } -> std::same_as<typename L::Range>;
  L::range_store(words, r);
  { L::range_set1(std::uint64_t{0}) } -> std::same_as<typename L::Range>;
  { L::template range_min<std::uint8_t>(r, r) } -> std::same_as<typename L::Range>;
  { L::template range_min<std::uint16_t>(r, r) } -> std::same_as<typename L::Range>;
  { L::template range_field<std::uint8_t, 0>(r) } -> std::same_as<typename L::D>;
  { L::template range_field<std::uint16_t, 0>(r) } -> std::same_as<typename L::D>;
  { L::memo_weights(a, L::kAllLanes, memo, misses) } -> std::same_as<typename L::D>;
  L::serve_misses(weights, a, misses, memo);
  { L::no_marks() } -> std::same_as<typename L::Marks>;
  L::mark(marks, a);
  { L::needs_wide(marks) } -> std::same_as<bool>;
  L::open_wide(marks);
  L::mark_wide(marks, a);
  L::fill_weight_table(p, marks, a, memo, space);
  { L::table_weights(cp, a) } -> std::same_as<typename L::D>;
  L::gaussian_powers(cp, p, count);
  L::store_pixels(out, centre, a, a);
  L::store_pixels(wide_out, wide_centre, a, a);
};

}  // namespace quillfen
