// 2^(j/N) for j = 0..N-1, N = 2^kExp2FractionBits, as the double nearest it,
// hi, and the natural logarithm of what that rounding left out, rho =
// ln(2^(j/N) / hi), so that 2^(j/N) = hi * e^rho: the Gaussian power
// (exact_gaussian_power.h, gaussian_power_precise.cpp) folds rho into the
// argument of its exponential instead of carrying a second product.
// |rho| < 2^-53.
//
// Made by the compiler in fixed point of 160 fraction bits (wide_fixed.h):
// s = e^(ln 2 / N) by its series, then 2^(j/N) = s^j one product at a
// time, within 2^-139 of it after the 1023 products; hi is its nearest
// double, and rho = ln(1 + x) = x - x^2/2, x = (2^(j/N) - hi) / hi taken in
// double, within 2^-105. A test checks every entry against MPFR.
#pragma once

namespace quillfen {

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

// Made once, in exp2_fraction_table.cpp: every file that includes this one
// would otherwise evaluate it again at compile time.
extern const Exp2FractionTable kExp2FractionTable;

}  // namespace quillfen
