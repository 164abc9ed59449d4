// The lane operations on a single double (lane_operations.h), so that the
// arithmetic the vector kernels share is written once and the
// straightforward pass runs the very same code, one centre at a time.
#pragma once

namespace quillfen {

struct ScalarLanes {
  static constexpr int kLanes = 1;
  using D = double;

  [[gnu::always_inline]] static D set1(double value) { return value; }
  [[gnu::always_inline]] static D add(D a, D b) { return a + b; }
  [[gnu::always_inline]] static D sub(D a, D b) { return a - b; }
  [[gnu::always_inline]] static D mul(D a, D b) { return a * b; }
  [[gnu::always_inline]] static D min(D a, D b) { return b < a ? b : a; }
  [[gnu::always_inline]] static D max(D a, D b) { return b > a ? b : a; }
  [[gnu::always_inline]] static D truncate(D a) { return __builtin_trunc(a); }
  [[gnu::always_inline]] static D at_least(D a, D b) { return a >= b ? 1.0 : 0.0; }

  struct Divisor {
    D value;
  };
  [[gnu::always_inline]] static Divisor divisor(D b) { return {b}; }
  [[gnu::always_inline]] static D divide(D a, const Divisor& by) { return by.value == 0.0 ? 0.0 : a / by.value; }
};

}  // namespace quillfen
