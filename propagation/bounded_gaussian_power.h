// A cheap Gaussian weight with a proven error bound, for deciding a
// centre's stored chroma without the exact weights (lane_kernel.h,
// bounded_gaussian_lane_block). docs/performance.md gives the whole
// argument; the parts that belong to the power are here.
//
// e^q for -708 <= q <= 0: k = round(q / ln 2) from one fused operation
// with the 1.5 * 2^52 shift, r = RN(q - k LN2) (|r| <= ln 2 / 2 + 2^-43),
// e^r by its Taylor polynomial of degree 7 in Horner's form with fused
// multiply-adds, and 2^k folded into the exponent field. Relative to e^q:
// truncation below 2^-26.52 (|r|^8 / 8! e^(2|r|)), the reduction's
// rounding (k (ln 2 - LN2) and r's own rounding) below 2^-43.9, Horner's
// roundings and the coefficients' below 2^-48: in all below
// kBoundedPowerError. For q >= -708 the result is a normal double (k >=
// -1021, the polynomial >= 0.707); below that, and for NaN, the result
// means nothing, and the caller must not use it (the pass checks the
// smallest exponent of each centre).
//
// `Ops` supplies D, set1, sub, fmadd(a, b, c) = RN(a * b + c),
// fnmadd(a, b, c) = RN(c - a * b), and add_to_exponent(x, shifted): x
// with the low 12 bits of shifted's bit pattern, as a 64-bit integer
// shifted left by 52, added to its bit pattern.
//
// Forced inline, so that each kernel compiles its own copy.
#pragma once

namespace quillfen {

namespace bounded_gaussian_power_constants {
inline constexpr double kLog2e = 0x1.71547652b82fep+0;
inline constexpr double kLn2 = 0x1.62e42fefa39efp-1;
inline constexpr double kRoundingShift = 0x1.8p52;
inline constexpr double kInverseFactorial[] = {1.0,
                                               1.0,
                                               0x1.0000000000000p-1,
                                               0x1.5555555555555p-3,
                                               0x1.5555555555555p-5,
                                               0x1.1111111111111p-7,
                                               0x1.6c16c16c16c17p-10,
                                               0x1.a01a01a01a01ap-13};
}  // namespace bounded_gaussian_power_constants

// The smallest exponent the bound covers.
inline constexpr double kBoundedPowerLowestExponent = -708.0;
// |bounded_gaussian_power(q) / e^q - 1| < kBoundedPowerError for
// kBoundedPowerLowestExponent <= q <= 0.
inline constexpr double kBoundedPowerError = 0x1.8p-27;  // 2^-26.41

template <class Ops>
[[gnu::always_inline]] inline typename Ops::D bounded_gaussian_power(typename Ops::D q) {
  namespace c = bounded_gaussian_power_constants;
  using D = typename Ops::D;
  const D shifted = Ops::fmadd(q, Ops::set1(c::kLog2e), Ops::set1(c::kRoundingShift));
  const D k = Ops::sub(shifted, Ops::set1(c::kRoundingShift));
  const D r = Ops::fnmadd(k, Ops::set1(c::kLn2), q);
  D p = Ops::set1(c::kInverseFactorial[7]);
  for (int i = 6; i >= 0; --i) p = Ops::fmadd(p, r, Ops::set1(c::kInverseFactorial[i]));
  return Ops::add_to_exponent(p, shifted);
}

}  // namespace quillfen
