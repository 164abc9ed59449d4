// The Gaussian weight pow(kGaussianBase, q), bit for bit what the standard
// library's pow returns, mostly without calling it.
//
// The library's pow is deterministic but not correctly rounded, so the
// fast form computes b^q = exp(q * ln b) in double-double precision, far
// more accurately than the library, and keeps its rounded result only where
// that rounding cannot differ from the library's; elsewhere ("undecided") the
// caller asks the library.
//
// What the library promises. glibc's pow (2.28 and later) documents its
// worst-case error as 0.54 ULP, made of at most 0.511 ULP from its
// exponential (0.509 where it uses fused operations) plus the relative error
// of its logarithm, at most 1.5 * 2^-68 (1.3 * 2^-68 fused), magnified by
// |t| = |q * ln b|, which the documented 0.54 takes at its largest, |t| =
// 1024 ln 2. The logarithm's error moves t by at most |t| * 1.5 * 2^-68,
// that is the result by at most that fraction of itself, at most |t| *
// 1.5 * 2^-15 ULP; the rounding of the low part of q * log b adds below
// |t| * 2^-25 ULP. So for a normal result its error is at most
//   E(t) = 0.511 + |t| * 2^-14 ULP.
// This is glibc's promise; the tests check the fast form against whichever
// library the build links.
//
// What this form computes. R = R_hi + R_lo with R_hi = RN(R), within 2^-12
// ULP of the exact X = b^q (the error budget is at
// exact_gaussian_power_parts). Let u be the ULP of R_hi, which is not a
// power of two, and suppose
//   |R_lo| <= (0.4875 - |t| * 2^-14) * u.
// Then |X - R_hi| <= (0.4875 + 2^-12 - |t| * 2^-14) * u, X lies in R_hi's
// binade so its ULP is u too, and every other double is at least u from
// R_hi, so at least (0.5125 - 2^-12 + |t| * 2^-14) * u > E(t) * u from X.
// The library's result lies within E(t) * u of X, so it is R_hi. Roughly
// 2.5 % of the exponents the pass forms fail the test, and the caller falls
// back for them.
//
// Also undecided: |q| above 708 (results near the subnormal range or
// overflow, where neither the bound nor the exponent arithmetic below is
// argued), NaN, and a result that rounds to a power of two (the ULP differs
// on its two sides), among them q = 0 (the pass weights an equal luma 1.0
// without asking).
//
// The arithmetic is written once over a set of lane operations `Ops`
// (ScalarExactPowerOps below for one value; the x86 kernels supply their
// own):
//   D, Mask, kLanes; load, store, set1, add, sub, mul, abs; fmadd(a, b, c)
//   = RN(a * b + c), fmsub(a, b, c) = RN(a * b - c) and fnmadd(a, b, c) =
//   RN(c - a * b), each in one rounding; less_equal(a, b) and
//   not_equal(a, b) -> Mask; both(m, n); binade(x) = x with its fraction
//   bits cleared;
//   select(m, a, b): a in the lanes of m, b elsewhere;
//   exp2_fraction(z, hi, lo): hi and lo of kExp2FractionTable at the low
//   kExp2FractionBits bits of z's bit pattern;
//   scale_by_exponent(x, z): x with (z's bit pattern, as a 64-bit
//   integer, shifted right by kExp2FractionBits and left by 52) added to its
//   bit pattern, that is 2^floor(k/128) folded into its exponent field.
// Forced inline, so that each kernel compiles its own copy.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "propagation/affinity.h"
#include "propagation/exp2_fraction_table.h"

namespace exact_gaussian_power_constants {
// ln(kGaussianBase) = 1 + kLnBaseLo to within 2^-108: the base is the double
// nearest e, just below it.
inline constexpr double kLnBaseLo = -0x1.ea8556644e4cdp-55;
// k = round(t * 128 / ln 2) by adding 1.5 * 2^52, which leaves k in the low
// bits of the sum's bit pattern.
inline constexpr double kFractionsPerLn2 = 0x1.71547652b82fep+7;
inline constexpr double kRoundingShift = 0x1.8p52;
// ln 2 / 128 = kStepHi + kStepLo to within 2^-81 relative. kStepHi has 35
// significant bits, so k * kStepHi is exact for |k| < 2^18, which holds for
// every |t| <= 746.
inline constexpr double kStepHi = 0x1.62e42fefc0000p-8;
inline constexpr double kStepLo = -0x1.c610ca86c3899p-44;
// Taylor coefficients of exp beyond r^2/2.
inline constexpr double kInv6 = 0x1.5555555555555p-3;
inline constexpr double kInv24 = 0x1.5555555555555p-5;
inline constexpr double kInv120 = 0x1.1111111111111p-7;
inline constexpr double kInv720 = 0x1.6c16c16c16c17p-10;
// The decision: |R_lo| <= (kHalfMargin - |q| * 2^-14) ULP; q is t to far
// better than this needs.
inline constexpr double kHalfMargin = 0.4875;
inline constexpr double kLargestDecided = 708.0;
}  // namespace exact_gaussian_power_constants

// b^q before its power-of-two scale: b^q = (hi + lo) * 2^e, hi = RN(hi + lo)
// in [0.99, 2), e given by `shifted` (scale_by_exponent), for |q| <= 746.
//
// Error budget, absolute on hi + lo: t = q ln b and r = t - k ln2/128
// within 2^-78; the Taylor polynomial's truncation (|r| <= 2^-8.5, degree 6)
// within 2^-71; its rounding within 2^-68.4; the roundings of the
// reconstruction within 2^-67.5 together: in all below 2^-66, that is below
// 2^-65.9 relative, below 2^-12.9 ULP.
template <class Ops>
struct ExactGaussianPowerParts {
  typename Ops::D hi, lo, shifted;
};

template <class Ops>
[[gnu::always_inline]] inline ExactGaussianPowerParts<Ops> exact_gaussian_power_parts(typename Ops::D q) {
  namespace c = exact_gaussian_power_constants;
  using D = typename Ops::D;

  // t = q * ln b = q + t_lo.
  const D t_lo = Ops::mul(q, Ops::set1(c::kLnBaseLo));
  const D shifted = Ops::add(Ops::mul(q, Ops::set1(c::kFractionsPerLn2)), Ops::set1(c::kRoundingShift));
  const D k = Ops::sub(shifted, Ops::set1(c::kRoundingShift));
  // q - k * kStepHi is exact: the product is, and q lies within a factor of
  // two of it when k is not 0.
  const D r1 = Ops::sub(q, Ops::mul(k, Ops::set1(c::kStepHi)));
  const D s = Ops::sub(t_lo, Ops::mul(k, Ops::set1(c::kStepLo)));
  // r = r_hi + r_lo, r1 + s to within 2^-78: exactly when |r1| >= |s|, and
  // otherwise both are below 2^-26 and so is the error of the split.
  const D r_hi = Ops::add(r1, s);
  const D r_lo = Ops::sub(s, Ops::sub(r_hi, r1));

  // exp(r) - 1 = r_hi + e_lo, e_lo = r_lo (1 + r_hi) + r_hi^2 (1/2 + r_hi/6 + ...).
  const D r2 = Ops::mul(r_hi, r_hi);
  D poly = Ops::fmadd(r_hi, Ops::set1(c::kInv720), Ops::set1(c::kInv120));
  poly = Ops::fmadd(r_hi, poly, Ops::set1(c::kInv24));
  poly = Ops::fmadd(r_hi, poly, Ops::set1(c::kInv6));
  poly = Ops::fmadd(r_hi, poly, Ops::set1(0.5));
  const D e_lo = Ops::add(Ops::fmadd(r_lo, r_hi, r_lo), Ops::mul(r2, poly));

  // (T_hi + T_lo)(1 + r_hi + e_lo) with T = 2^(j/128), T_lo e_lo dropped;
  // the product T_hi r_hi is kept exactly.
  D t_hi_part, t_lo_part;
  Ops::exp2_fraction(shifted, t_hi_part, t_lo_part);
  const D m = Ops::mul(t_hi_part, r_hi);
  const D m_error = Ops::fmsub(t_hi_part, r_hi, m);
  D low = Ops::fmadd(t_hi_part, e_lo, t_lo_part);
  low = Ops::fmadd(t_lo_part, r_hi, low);
  low = Ops::add(low, m_error);
  const D sum = Ops::add(t_hi_part, m);
  low = Ops::add(low, Ops::sub(m, Ops::sub(sum, t_hi_part)));
  const D hi = Ops::add(sum, low);
  return {hi, Ops::sub(low, Ops::sub(hi, sum)), shifted};
}

// b^q for the lanes of q, and in `decided` the lanes where that is exactly
// what pow(kGaussianBase, q) returns; the other lanes hold no meaningful
// value.
template <class Ops>
[[gnu::always_inline]] inline typename Ops::D exact_gaussian_power_lanes(typename Ops::D q,
                                                                         typename Ops::Mask& decided) {
  namespace c = exact_gaussian_power_constants;
  using D = typename Ops::D;
  const ExactGaussianPowerParts<Ops> parts = exact_gaussian_power_parts<Ops>(q);
  const D magnitude = Ops::abs(q);
  // (kHalfMargin - |t| * 2^-14) ULP of hi; hi lies in [0.99, 2), so its ULP
  // is its binade, 0.5 or 1, times 2^-52. The fused operation only sets the
  // limit, whose rounding the margin absorbs.
  const D limit =
      Ops::mul(Ops::binade(parts.hi), Ops::fnmadd(magnitude, Ops::set1(0x1p-66), Ops::set1(c::kHalfMargin * 0x1p-52)));
  // hi is 1.0 exactly when the result rounds to a power of two.
  decided = Ops::both(
      Ops::both(Ops::less_equal(magnitude, Ops::set1(c::kLargestDecided)), Ops::not_equal(parts.hi, Ops::set1(1.0))),
      Ops::less_equal(Ops::abs(parts.lo), limit));
  // For |q| <= 708 the scale leaves the exponent field between 1 and 2044:
  // the result stays normal.
  return Ops::scale_by_exponent(parts.hi, parts.shifted);
}

// One value as a lane.
struct ScalarExactPowerOps {
  static constexpr int kLanes = 1;
  using D = double;
  using Mask = bool;
  static double load(const double* p) { return *p; }
  static void store(double* p, double a) { *p = a; }
  static double set1(double value) { return value; }
  static double add(double a, double b) { return a + b; }
  static double sub(double a, double b) { return a - b; }
  static double mul(double a, double b) { return a * b; }
  static double abs(double a) { return std::fabs(a); }
  static double fmadd(double a, double b, double c) { return std::fma(a, b, c); }
  static double fmsub(double a, double b, double c) { return std::fma(a, b, -c); }
  static double fnmadd(double a, double b, double c) { return std::fma(-a, b, c); }
  static bool less_equal(double a, double b) { return a <= b; }
  static bool not_equal(double a, double b) { return a != b; }
  static bool both(bool a, bool b) { return a && b; }
  static double binade(double x) {
    const std::uint64_t cleared = bits(x) & 0xFFF0000000000000u;
    double result;
    std::memcpy(&result, &cleared, sizeof result);
    return result;
  }
  static double select(bool m, double a, double b) { return m ? a : b; }
  static std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
  }
  static void exp2_fraction(double shifted, double& hi, double& lo) {
    const Exp2Fraction& entry = kExp2FractionTable[bits(shifted) & (kExp2Fractions - 1)];
    hi = entry.hi;
    lo = entry.lo;
  }
  static double scale_by_exponent(double x, double shifted) {
    const std::uint64_t scaled = bits(x) + (bits(shifted) >> kExp2FractionBits << 52);
    double result;
    std::memcpy(&result, &scaled, sizeof result);
    return result;
  }
};

// pow(kGaussianBase, q), bit for bit, for any q.
[[gnu::always_inline]] inline double exact_gaussian_power(double q) {
  bool decided;
  const double power = exact_gaussian_power_lanes<ScalarExactPowerOps>(q, decided);
  return decided ? power : std::pow(kGaussianBase, q);
}

// pow(kGaussianBase, q) for `count` exponents, bit for bit, Ops::kLanes at
// a time; returns how many the library served. Every power the fast form
// decides comes first, with a NaN in place of the others, which the library
// then serves in one sweep: its calls neither interrupt the vector loop nor
// mispredict in it. (A NaN exponent is undecided and its power is NaN, so
// serving it again changes nothing.)
template <class Ops>
[[gnu::always_inline]] inline std::size_t exact_gaussian_powers(const double* exponents, double* powers,
                                                                std::size_t count) {
  const double undecided_mark = __builtin_nan("");
  std::size_t i = 0;
  for (; i + Ops::kLanes <= count; i += Ops::kLanes) {
    typename Ops::Mask decided;
    const typename Ops::D power = exact_gaussian_power_lanes<Ops>(Ops::load(exponents + i), decided);
    Ops::store(powers + i, Ops::select(decided, power, Ops::set1(undecided_mark)));
  }
  for (; i < count; ++i) {
    bool decided;
    const double power = exact_gaussian_power_lanes<ScalarExactPowerOps>(exponents[i], decided);
    powers[i] = decided ? power : undecided_mark;
  }
  std::size_t undecided = 0;
  for (i = 0; i < count; ++i)
    if (__builtin_isnan(powers[i])) {
      powers[i] = std::pow(kGaussianBase, exponents[i]);
      ++undecided;
    }
  return undecided;
}
