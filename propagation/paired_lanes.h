// Lane operations on two registers at once. Every sum of a lane is one long
// chain of dependent additions; two registers per operation give the CPU
// two independent chains to overlap, and halve the per-run overhead.
#pragma once

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
  static D gather(const double* table, D index) {
    return {Half::gather(table, index.low), Half::gather(table, index.high)};
  }
  static bool all_finite(D a) { return Half::all_finite(a.low) && Half::all_finite(a.high); }
  static D select_if_equal(D a, D b, D if_equal, D otherwise) {
    return {Half::select_if_equal(a.low, b.low, if_equal.low, otherwise.low),
            Half::select_if_equal(a.high, b.high, if_equal.high, otherwise.high)};
  }
};
