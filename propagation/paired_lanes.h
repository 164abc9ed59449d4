// Lane operations on two registers at once. Every sum of a lane is one long
// chain of dependent additions; two registers per operation give the CPU
// two independent chains to overlap, and halve the per-run overhead.
#pragma once

#include <cstdint>
#include <type_traits>

#include "propagation/gaussian_weight_cache.h"
#include "propagation/lane_weight_table.h"
#include "propagation/pass_workspace.h"

namespace quillfen {

// The list in which a kernel's registers gather the exponents of a run
// (Lanes::WeightList, with list_weights and work_off), or void where each
// register fills its table alone.
template <class Lanes>
struct WeightListOf {
  using type = void;
};
template <class Lanes>
  requires requires { typename Lanes::WeightList; }
struct WeightListOf<Lanes> {
  using type = typename Lanes::WeightList;
};

template <class Half>
struct PairedLanes {
  static constexpr int kLanes = 2 * Half::kLanes;
  struct D {
    typename Half::D low, high;
  };

  static D load(const double* p) { return {Half::load(p), Half::load(p + Half::kLanes)}; }
  static void store(double* p, D a) {
    Half::store(p, a.low);
    Half::store(p + Half::kLanes, a.high);
  }
  static D set1(double value) { return {Half::set1(value), Half::set1(value)}; }
  static D add(D a, D b) { return {Half::add(a.low, b.low), Half::add(a.high, b.high)}; }
  static D sub(D a, D b) { return {Half::sub(a.low, b.low), Half::sub(a.high, b.high)}; }
  static D mul(D a, D b) { return {Half::mul(a.low, b.low), Half::mul(a.high, b.high)}; }
  static D div(D a, D b) { return {Half::div(a.low, b.low), Half::div(a.high, b.high)}; }
  static D min(D a, D b) { return {Half::min(a.low, b.low), Half::min(a.high, b.high)}; }
  static D max(D a, D b) { return {Half::max(a.low, b.low), Half::max(a.high, b.high)}; }
  static D abs(D a) { return {Half::abs(a.low), Half::abs(a.high)}; }
  static D truncate(D a) { return {Half::truncate(a.low), Half::truncate(a.high)}; }
  static D at_least(D a, D b) { return {Half::at_least(a.low, b.low), Half::at_least(a.high, b.high)}; }
  static bool all_finite(D a) { return Half::all_finite(a.low) && Half::all_finite(a.high); }
  static bool all_zero(D a)
    requires requires(typename Half::D x) { Half::all_zero(x); }
  {
    return Half::all_zero(a.low) && Half::all_zero(a.high);
  }
  static D fmadd(D a, D b, D c)
    requires requires(typename Half::D x) { Half::fmadd(x, x, x); }
  {
    return {Half::fmadd(a.low, b.low, c.low), Half::fmadd(a.high, b.high, c.high)};
  }
  static D bounded_gaussian_power(D q)
    requires requires(typename Half::D x) { Half::bounded_gaussian_power(x); }
  {
    return {Half::bounded_gaussian_power(q.low), Half::bounded_gaussian_power(q.high)};
  }

  struct Range {
    typename Half::Range low, high;
  };
  static Range range_load(const std::uint64_t* p) { return {Half::range_load(p), Half::range_load(p + Half::kLanes)}; }
  static void range_store(std::uint64_t* p, Range a) {
    Half::range_store(p, a.low);
    Half::range_store(p + Half::kLanes, a.high);
  }
  static Range range_set1(std::uint64_t word) { return {Half::range_set1(word), Half::range_set1(word)}; }
  template <class Sample>
  static Range range_min(Range a, Range b) {
    return {Half::template range_min<Sample>(a.low, b.low), Half::template range_min<Sample>(a.high, b.high)};
  }
  template <class Sample, int kField>
  static D range_field(Range a) {
    return {Half::template range_field<Sample, kField>(a.low), Half::template range_field<Sample, kField>(a.high)};
  }

  struct Divisor {
    typename Half::Divisor low, high;
  };
  static Divisor divisor(D b) { return {Half::divisor(b.low), Half::divisor(b.high)}; }
  static D divide(D a, const Divisor& b) { return {Half::divide(a.low, b.low), Half::divide(a.high, b.high)}; }

  // Bit i for lane i.
  using LaneMask = std::uint64_t;
  static constexpr LaneMask kAllLanes = (LaneMask{1} << kLanes) - 1;
  struct Misses {
    typename Half::Misses low, high;
  };
  static D memo_weights(D exponent, LaneMask lanes, GaussianWeightCache& cache, Misses& misses) {
    using HalfMask = typename Half::LaneMask;
    return {Half::memo_weights(exponent.low, static_cast<HalfMask>(lanes & Half::kAllLanes), cache, misses.low),
            Half::memo_weights(exponent.high, static_cast<HalfMask>(lanes >> Half::kLanes), cache, misses.high)};
  }
  static void serve_misses(D& weights, D exponent, const Misses& misses, GaussianWeightCache& cache) {
    Half::serve_misses(weights.low, exponent.low, misses.low, cache);
    Half::serve_misses(weights.high, exponent.high, misses.high, cache);
  }

  struct Marks {
    typename Half::Marks low, high;
  };
  static Marks no_marks() { return {Half::no_marks(), Half::no_marks()}; }
  static void mark(Marks& marks, D difference) {
    Half::mark(marks.low, difference.low);
    Half::mark(marks.high, difference.high);
  }
  static bool needs_wide(const Marks& marks) { return Half::needs_wide(marks.low) || Half::needs_wide(marks.high); }
  static void open_wide(Marks& marks) {
    Half::open_wide(marks.low);
    Half::open_wide(marks.high);
  }
  static void mark_wide(Marks& marks, D difference) {
    Half::mark_wide(marks.low, difference.low);
    Half::mark_wide(marks.high, difference.high);
  }
  using WeightList = typename WeightListOf<Half>::type;
  static void fill_weight_table(double* weights, const Marks& marks, D variance, GaussianWeightCache& cache,
                                WeightFillSpace& space) {
    if constexpr (std::is_void_v<WeightList>) {
      Half::fill_weight_table(weights, marks.low, variance.low, cache, space);
      Half::fill_weight_table(weights + kLumaDifferences * Half::kLanes, marks.high, variance.high, cache, space);
    } else {
      WeightList& list = weight_fill_lists<WeightList>(space);
      list_weights(list, weights, marks, variance, cache);
      Half::work_off(list, cache);
    }
  }
  template <class List>
  static void list_weights(List& list, double* weights, const Marks& marks, D variance, GaussianWeightCache& memo) {
    Half::list_weights(list, weights, marks.low, variance.low, memo);
    Half::list_weights(list, weights + kLumaDifferences * Half::kLanes, marks.high, variance.high, memo);
  }
  template <class List>
  static void work_off(List& list, GaussianWeightCache& memo) {
    Half::work_off(list, memo);
  }
  static D table_weights(const double* weights, D difference) {
    return {Half::table_weights(weights, difference.low),
            Half::table_weights(weights + kLumaDifferences * Half::kLanes, difference.high)};
  }

  // The lanes' exponents lie side by side in memory, so the list is the
  // half's too.
  static void gaussian_powers(const double* exponents, double* powers, int count) {
    Half::gaussian_powers(exponents, powers, count);
  }

  template <class Sample>
  static void store_pixels(Sample* out, const Sample* centre, D u, D v) {
    Half::store_pixels(out, centre, u.low, v.low);
    Half::store_pixels(out + 3 * Half::kLanes, centre + 3 * Half::kLanes, u.high, v.high);
  }
};

}  // namespace quillfen
