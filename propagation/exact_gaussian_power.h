// The fast form of the Gaussian weight: the double nearest kGaussianBase^q,
// ties to even, for the exponents whose rounding it can decide, which are
// nearly all of them; gaussian_power_precise.h serves the rest.
//
// It computes b^q = exp(q * ln b) to about 64 bits: hi + lo with hi =
// RN(hi + lo), and m, such that 2^m * (hi + lo) lies within 2^-63.1 of X =
// b^q relative to X, hi in [0.999, 2) (the error budget is at
// exact_gaussian_power_parts); the result is 2^m * hi. With Y = X / 2^m
// and u = 2^-52 the last place of [1, 2), that error is below 2^-10.1 u
// for Y below 2 and below 2^-11.1 u for Y below 1. So
// - for hi > 1 and |lo| <= kDecidedHalf * u, kDecidedHalf = 0.5 - 2^-9,
//   |Y - hi| < u / 2: hi is the double nearest Y, and 2^m hi the double
//   nearest X;
// - near one (kNearOne), for hi < 1 and 2 |lo| <= kDecidedHalf * u, Y
//   lies within u / 4, a half place of [0.5, 1), of hi: again hi.
// And q = 0 (either sign) gives hi = 1 and lo = 0 exactly, so 1.0. Results
// below 1 lie just under a power of two: small |q|, whose power is just
// under 1, and the 1 in 2048 that the reduction below leaves just under
// 2^m. Lists of every sample's exponent meet both often (a centre's own
// luma again, and in wide images differences of a few codes against
// variances of thousands); the weight tables of byte images leave out
// difference 0 and meet few of the others, and there the longer test cost
// more than it saved.
//
// Undecided, about 1 in 200 of the exponents within range that the pass
// forms on real-looking frames: results that fail that test; |q| above 708 (results near the
// subnormal range or overflow, where the exponent arithmetic below is not
// argued) and NaN; and hi of 1 or below: a result that rounds to a power
// of two, whose last place differs on its two sides, and those just under
// a power of two (except near one: then hi of exactly 1 from any q but 0).
//
// The arithmetic is written once over a set of lane operations `Ops`
// (ScalarExactPowerOps below for one value; the x86 kernels supply their
// own):
//   D, Mask, kLanes; load, store, set1, add, sub, mul, abs; fmadd(a, b, c)
//   = RN(a * b + c) and fnmadd(a, b, c) = RN(c - a * b), each in one
//   rounding where kFused (elsewhere, UnfusedScalarExactPowerOps, in two,
//   and exact_product(a, b, p, e) gives a * b = p + e exactly: the error
//   budget then grows by less than 2^-75, and hi and lo below come from that
//   exact product); less_equal(a, b) and less(a, b) -> Mask; both(m, n) and
//   either(m, n);
//   exp2_fraction(z, hi, rho): kExp2FractionTable's hi and rho at the low
//   kExp2FractionBits bits of z's bit pattern;
//   scale_by_exponent(x, z): x with (z's bit pattern, as a 64-bit
//   integer, shifted right by kExp2FractionBits and left by 52) added to its
//   bit pattern, that is 2^floor(k/N) folded into its exponent field;
//   undecided_lanes(decided, first, list): writes first + i for each lane i
//   not in `decided`, in order, to list[0..kLanes) and returns how many.
// Forced inline, so that each kernel compiles its own copy.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "propagation/exp2_fraction_table.h"
#include "propagation/gaussian_power_precise.h"
#include "propagation/split_product.h"

namespace quillfen {

namespace exact_gaussian_power_constants {
// ln b = 1 + kLnBaseLo to within 2^-108 (gaussian_power_precise.h).
// k = round(q * N / ln 2), N = kExp2Fractions = 1024, by adding 1.5 * 2^52,
// which leaves k in the low bits of the sum's bit pattern.
inline constexpr double kFractionsPerLn2 = 0x1.71547652b82fep+10;
inline constexpr double kRoundingShift = 0x1.8p52;
// ln 2 / N = kStepHi + kStepLo to within 2^-97. kStepHi has 33 significant
// bits, so k * kStepHi is exact for |k| < 2^20, which holds for every |q| <=
// 709.
inline constexpr double kStepHi = 0x1.62e42fefp-11;
inline constexpr double kStepLo = 0x1.473de6af278edp-44;
// Taylor coefficients of exp beyond r^2/2.
inline constexpr double kInv6 = 0x1.5555555555555p-3;
inline constexpr double kInv24 = 0x1.5555555555555p-5;
// The decision: |lo| <= kDecidedHalf * 2^-52.
inline constexpr double kDecidedHalf = 0.5 - 0x1p-9;
inline constexpr double kLargestDecided = 708.0;
}  // namespace exact_gaussian_power_constants

// b^q before its power-of-two scale: b^q = (hi + lo) * 2^m within the
// budget below, hi = RN(hi + lo) in [0.999, 2), m given by `shifted`
// (scale_by_exponent), for |q| <= 709.
//
// With k = round(q N / ln 2) = N m + j, b^q = e^t, t = q ln b, is
//   2^m * 2^(j/N) * e^(t - k ln2/N) = 2^m * T * e^r,
//   r = q - k kStepHi + (q kLnBaseLo + rho - k kStepLo),
// T and rho the table's hi and rho at j; |r| <= ln 2 / 2N < 2^-11.5.
// Error budget, relative to b^q: r rounded to a double, within 2^-65 (its
// ULP is at most 2^-64), the parenthesis within 2^-76 before that; e^r -
// 1 = r + r^2 (1/2 + r/6 + r^2/24) truncated within |r|^5/120 < 2^-64.4,
// its rounding to p = RN(...) within 2^-65 and its other roundings below
// 2^-74; hi + lo = T (1 + p) within 2^-106. In all below 2^-63.1.
template <class Ops>
struct ExactGaussianPowerParts {
  typename Ops::D hi, lo, shifted;
};

template <class Ops>
[[gnu::always_inline]] inline ExactGaussianPowerParts<Ops> exact_gaussian_power_parts(typename Ops::D q) {
  namespace c = exact_gaussian_power_constants;
  using D = typename Ops::D;

  const D shifted = Ops::fmadd(q, Ops::set1(c::kFractionsPerLn2), Ops::set1(c::kRoundingShift));
  const D k = Ops::sub(shifted, Ops::set1(c::kRoundingShift));
  // q - k * kStepHi is exact: the product is, and q lies within a factor of
  // two of it when k is not 0.
  const D r1 = Ops::fnmadd(k, Ops::set1(c::kStepHi), q);
  D t, rho;
  Ops::exp2_fraction(shifted, t, rho);
  const D r = Ops::add(r1, Ops::fnmadd(k, Ops::set1(c::kStepLo), Ops::fmadd(q, Ops::set1(kLnBaseLo), rho)));

  // p = e^r - 1 = r + r^2 (1/2 + r/6 + r^2/24).
  D poly = Ops::fmadd(r, Ops::set1(c::kInv24), Ops::set1(c::kInv6));
  poly = Ops::fmadd(r, poly, Ops::set1(0.5));
  const D p = Ops::fmadd(Ops::mul(r, r), poly, r);

  // T (1 + p): hi in one rounding, and what it left out in another: t - hi
  // is exact, the two lying within a factor of two of each other, so the
  // second fused operation rounds the exact remainder, below an ULP of hi.
  if constexpr (Ops::kFused) {
    const D hi = Ops::fmadd(t, p, t);
    return {hi, Ops::fmadd(t, p, Ops::sub(t, hi)), shifted};
  } else {
    D product, error;
    Ops::exact_product(t, p, product, error);
    const D hi = Ops::add(t, product);
    return {hi, Ops::add(Ops::sub(product, Ops::sub(hi, t)), error), shifted};
  }
}

// b^q for the lanes of q, and in `decided` the lanes where that is the
// double nearest it; the other lanes hold no meaningful value.
template <class Ops, bool kNearOne>
[[gnu::always_inline]] inline typename Ops::D exact_gaussian_power_lanes(typename Ops::D q,
                                                                         typename Ops::Mask& decided) {
  namespace c = exact_gaussian_power_constants;
  using D = typename Ops::D;
  const ExactGaussianPowerParts<Ops> parts = exact_gaussian_power_parts<Ops>(q);
  const D magnitude = Ops::abs(q);
  // A half place of hi in (1, 2) less the error; for hi below 1 the limit
  // takes twice |lo| instead.
  const D limit = Ops::set1(c::kDecidedHalf * 0x1p-52);
  const D remainder = Ops::abs(parts.lo);
  const D one = Ops::set1(1.0);
  const typename Ops::Mask in_range = Ops::less_equal(magnitude, Ops::set1(c::kLargestDecided));
  const typename Ops::Mask above_one = Ops::both(Ops::less(one, parts.hi), Ops::less_equal(remainder, limit));
  if constexpr (kNearOne) {
    const typename Ops::Mask below_one =
        Ops::both(Ops::less(parts.hi, one), Ops::less_equal(Ops::add(remainder, remainder), limit));
    decided = Ops::either(Ops::both(in_range, Ops::either(above_one, below_one)),
                          Ops::less_equal(magnitude, Ops::set1(0.0)));
  } else {
    decided = Ops::both(in_range, above_one);
  }
  // For |q| <= 708 the scale leaves the exponent field between 1 and 2044:
  // the result stays normal.
  return Ops::scale_by_exponent(parts.hi, parts.shifted);
}

// One value as a lane.
struct ScalarExactPowerOps {
  static constexpr int kLanes = 1;
  static constexpr bool kFused = true;
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
  static double fnmadd(double a, double b, double c) { return std::fma(-a, b, c); }
  static bool less_equal(double a, double b) { return a <= b; }
  static bool less(double a, double b) { return a < b; }
  static bool both(bool a, bool b) { return a && b; }
  static bool either(bool a, bool b) { return a || b; }
  static std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
  }
  static void exp2_fraction(double shifted, double& hi, double& rho) {
    const Exp2Fraction& entry = kExp2FractionTable.entry[bits(shifted) & (kExp2Fractions - 1)];
    hi = entry.hi;
    rho = entry.rho;
  }
  static double scale_by_exponent(double x, double shifted) {
    const std::uint64_t scaled = bits(x) + (bits(shifted) >> kExp2FractionBits << 52);
    double result;
    std::memcpy(&result, &scaled, sizeof result);
    return result;
  }
  static int undecided_lanes(bool decided, std::uint32_t first, std::uint32_t* list) {
    list[0] = first;
    return decided ? 0 : 1;
  }
};

// One value as a lane where the build has no fused multiply-add
// instruction (a library's fused multiply-add in software is slow, and not
// everywhere exact): two roundings, and Veltkamp's split and Dekker's
// product for the one product that must be exact.
struct UnfusedScalarExactPowerOps : ScalarExactPowerOps {
  static constexpr bool kFused = false;
  static double fmadd(double a, double b, double c) { return a * b + c; }
  static double fnmadd(double a, double b, double c) { return c - a * b; }
  static void exact_product(double a, double b, double& product, double& error) {
    split_product(a, b, product, error);
  }
};

// The Gaussian weight for `count` exponents, Ops::kLanes at a time;
// returns how many `serve_undecided(q)` served. The vector loop
// stores every lane's power and lists the undecided lanes without a branch;
// the listed ones are then served in one sweep, so that those calls neither
// interrupt the vector loop nor mispredict in it. Blocks of kBlock
// exponents keep the list small. `serve_undecided` must return the weight:
// the precise form itself, or a memo of its results.
template <class Ops, bool kNearOne = false, class ServeUndecided>
[[gnu::always_inline]] inline std::size_t exact_gaussian_powers_served_by(const double* exponents, double* powers,
                                                                          std::size_t count,
                                                                          ServeUndecided&& serve_undecided) {
  constexpr std::size_t kBlock = 1024;
  std::uint32_t undecided[kBlock + Ops::kLanes];
  std::size_t served = 0;
  for (std::size_t start = 0; start < count; start += kBlock) {
    const double* const q = exponents + start;
    double* const power = powers + start;
    const std::uint32_t size = static_cast<std::uint32_t>(count - start < kBlock ? count - start : kBlock);
    std::uint32_t listed = 0, i = 0;
    for (; i + Ops::kLanes <= size; i += Ops::kLanes) {
      typename Ops::Mask decided;
      Ops::store(power + i, exact_gaussian_power_lanes<Ops, kNearOne>(Ops::load(q + i), decided));
      listed += static_cast<std::uint32_t>(Ops::undecided_lanes(decided, i, undecided + listed));
    }
    for (; i < size; ++i) {
      bool decided;
      power[i] = exact_gaussian_power_lanes<ScalarExactPowerOps, kNearOne>(q[i], decided);
      listed += static_cast<std::uint32_t>(ScalarExactPowerOps::undecided_lanes(decided, i, undecided + listed));
    }
    for (std::uint32_t n = 0; n < listed; ++n) power[undecided[n]] = serve_undecided(q[undecided[n]]);
    served += listed;
  }
  return served;
}

// The same with the precise form serving the undecided exponents.
template <class Ops, bool kNearOne = false>
[[gnu::always_inline]] inline std::size_t exact_gaussian_powers(const double* exponents, double* powers,
                                                                std::size_t count) {
  return exact_gaussian_powers_served_by<Ops, kNearOne>(exponents, powers, count,
                                                        [](double q) { return precise_gaussian_power(q); });
}

}  // namespace quillfen
