// 2^(j/N) for j = 0..N-1, N = 2^kExp2FractionBits, as the double nearest it,
// hi, and the natural logarithm of what that rounding left out, rho =
// ln(2^(j/N) / hi), so that 2^(j/N) = hi * e^rho exactly: the exact
// Gaussian power (exact_gaussian_power.h) folds rho into the argument of its
// exponential instead of carrying a second product. |rho| < 2^-53.
//
// Made by the compiler in quadruple precision: e^x by its Taylor series at
// x = j ln 2 / N (below ln 2, so forty terms take it to the format's last
// bit), ln 2 given as two doubles to within 2^-107, and rho from the
// remainder d = 2^(j/N) - hi as ln(1 + d/hi) = d/hi - (d/hi)^2/2 to within
// (d/hi)^3 < 2^-159. A test checks every entry against the quadruple-
// precision library.
#pragma once

inline constexpr int kExp2FractionBits = 10;
inline constexpr int kExp2Fractions = 1 << kExp2FractionBits;

// The pair of an entry is read in one 16-byte load.
struct alignas(16) Exp2Fraction {
  double hi;
  double rho;
};

struct Exp2FractionTable {
  Exp2Fraction entry[kExp2Fractions];
};

namespace exp2_fraction_table_detail {
constexpr __float128 exp_series(__float128 x) {
  __float128 term = 1, sum = 1;
  for (int n = 1; n <= 40; ++n) {
    term = term * x / n;
    sum += term;
  }
  return sum;
}

constexpr Exp2FractionTable make_table() {
  const __float128 ln2 = static_cast<__float128>(0x1.62e42fefa39efp-1) + 0x1.abc9e3b39803fp-56;
  Exp2FractionTable table{};
  for (int j = 0; j < kExp2Fractions; ++j) {
    const __float128 exact = exp_series(ln2 * j / kExp2Fractions);
    const double hi = static_cast<double>(exact);
    const __float128 d = (exact - hi) / hi;
    table.entry[j] = {hi, static_cast<double>(d - d * d / 2)};
  }
  return table;
}
}  // namespace exp2_fraction_table_detail

alignas(64) inline constexpr Exp2FractionTable kExp2FractionTable = exp2_fraction_table_detail::make_table();
