// The Gaussian weight beyond the fast form: kGaussianBase^q as a
// double-double, within 2^-90 of it, rounded to the nearest double at the
// scale of the result, and where the double-double lies within its error
// of the midpoint between two doubles, the final step decides the side.
#include "propagation/gaussian_power_precise.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>

#include "propagation/exp2_fraction_table.h"
#include "propagation/split_product.h"

namespace quillfen {

namespace {

struct DoubleDouble {
  double hi, lo;
};

// a + b exactly as hi + lo; fast_two_sum needs |a| >= |b| or a = 0.
DoubleDouble two_sum(double a, double b) {
  const double sum = a + b, b_part = sum - a;
  return {sum, (a - (sum - b_part)) + (b - b_part)};
}
DoubleDouble fast_two_sum(double a, double b) {
  const double sum = a + b;
  return {sum, b - (sum - a)};
}

// a * b exactly as hi + lo: by the fused multiply-add where the build has
// the instruction, by Veltkamp's split and Dekker's product elsewhere (a
// library's fused multiply-add in software is not everywhere exact).
DoubleDouble two_product(double a, double b) {
#ifdef __FP_FAST_FMA
  const double product = a * b;
  return {product, std::fma(a, b, -product)};
#else
  double product, error;
  split_product(a, b, product, error);
  return {product, error};
#endif
}

// Each within about 2^-104 of the exact result, relative to it.
DoubleDouble add(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble high = two_sum(a.hi, b.hi), low = two_sum(a.lo, b.lo);
  const DoubleDouble partial = fast_two_sum(high.hi, high.lo + low.hi);
  return fast_two_sum(partial.hi, partial.lo + low.lo);
}
DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble product = two_product(a.hi, b.hi);
  return fast_two_sum(product.hi, product.lo + (a.hi * b.lo + a.lo * b.hi));
}

// 2^e for -1074 <= e <= 1023, subnormal below -1022.
double power_of_two(int e) {
  return e >= -1022 ? std::bit_cast<double>(static_cast<std::uint64_t>(e + 1023) << 52)
                    : std::bit_cast<double>(std::uint64_t{1} << (e + 1074));
}

// ln 2 / N = kStepHi + kStepLo + kStepLower to within 2^-150; kStepHi has 28
// significant bits, so k kStepHi is exact for every |k| < 2^21 met here.
constexpr double kFractionsPerLn2 = 0x1.71547652b82fep+10;
constexpr double kRoundingShift = 0x1.8p52;
constexpr double kStepHi = 0x1.62e42fep-11;
constexpr double kStepLo = 0x1.f473de6af278fp-40;
constexpr double kStepLower = -0x1.8cff81a12a17ep-95;

// The double-double's error relative to the power: below 2^-94 (t within
// 2^-96 of q ln b where |t| nears 746, r's low part summed within 2^-95,
// the table within 2^-105, the series' terms and sums within 2^-100, its
// tail below 2^-120), taken as 2^-90; measured against MPFR, 2^-96.4. In units of the
// result's last place, at most 2^53 of them, that is below 2^-37; the
// rounding of the fraction below adds under 2^-54.
constexpr double kHalfUncertainty = 0x1p-36;

}  // namespace

double precise_gaussian_power(double q) {
  if (q != q) return q + q;
  // b^710 > e^709.99 overflows; b^-746 < e^-745.99 lies below half the
  // least subnormal, 2^-1075 = e^-745.13; and for |q| < 2^-54 the power
  // lies nearer 1 than the doubles beside it.
  if (q >= 710.0) return std::numeric_limits<double>::infinity();
  if (q <= -746.0) return 0.0;
  if ((q < 0 ? -q : q) < 0x1p-54) return 1.0;

  // t = q ln b = q (1 + kLnBaseLo + kLnBaseLower) as a double-double.
  const DoubleDouble product = two_product(q, kLnBaseLo);
  const DoubleDouble head = fast_two_sum(q, product.hi);
  const DoubleDouble t = fast_two_sum(head.hi, head.lo + (product.lo + q * kLnBaseLower));

  // k = N m + j nearest t N / ln 2, N = kExp2Fractions; e^t = 2^m 2^(j/N)
  // e^r, r = t - k ln 2 / N, |r| < 2^-11.4; 2^(j/N) = hi e^rho from the
  // table, rho folded into r. t.hi - k kStepHi is exact, the two lying
  // within a factor of two of each other.
  const double k = (t.hi * kFractionsPerLn2 + kRoundingShift) - kRoundingShift;
  const auto whole_k = static_cast<std::int64_t>(k);
  const Exp2Fraction& fraction = kExp2FractionTable.entry[whole_k & (kExp2Fractions - 1)];
  const int m = static_cast<int>(whole_k >> kExp2FractionBits);
  const DoubleDouble k_lo = two_product(k, kStepLo);
  const DoubleDouble r_head = two_sum(t.hi - k * kStepHi, -k_lo.hi);
  const DoubleDouble r = two_sum(r_head.hi, r_head.lo + (((t.lo - k_lo.lo) - k * kStepLower) + fraction.rho));

  // e^r = 1 + r + r^2/2 + r^3/6 + r^4 (1/4! + ... + r^4/8!); the tail
  // beyond, below 2^-120, left out. r^2 and r^3/6 (below 2^-36) in two
  // parts each; r^4 times its polynomial (below 2^-50) in one.
  const DoubleDouble r_product = two_product(r.hi, r.hi);
  const DoubleDouble square = {r_product.hi, r_product.lo + 2.0 * r.hi * r.lo};
  const DoubleDouble cube_product = two_product(square.hi, r.hi);
  const DoubleDouble cube = {cube_product.hi, cube_product.lo + (square.lo * r.hi + square.hi * r.lo)};
  const DoubleDouble sixth_product = two_product(cube.hi, 0x1.5555555555555p-3);
  const DoubleDouble cube_sixth = {
      sixth_product.hi, sixth_product.lo + (cube.hi * 0x1.5555555555555p-57 + cube.lo * 0x1.5555555555555p-3)};
  double tail = 0x1.a01a01a01a01ap-16;
  for (const double c : {0x1.a01a01a01a01ap-13, 0x1.6c16c16c16c17p-10, 0x1.1111111111111p-7, 0x1.5555555555555p-5})
    tail = tail * r.hi + c;
  DoubleDouble series = add(cube_sixth, {square.hi * square.hi * tail, 0.0});
  series = add(add(series, {0.5 * square.hi, 0.5 * square.lo}), r);
  series = add(series, {1.0, 0.0});
  const DoubleDouble v = multiply({fraction.hi, 0.0}, series);

  // b^q = 2^m (v.hi + v.lo), v in [0.999, 2]. Its last place: 2^(m + e -
  // 52) for v in [2^e, 2^(e+1)), at least the least subnormal's.
  if (m <= -1077) return 0.0;  // below 2^-1076
  int binade = v.hi >= 2.0 ? 1 : v.hi >= 1.0 ? 0 : -1;
  if (v.hi == power_of_two(binade) && v.lo < 0) --binade;
  const int last_place = m + binade - 52 > -1074 ? m + binade - 52 : -1074;
  // The power in units of that place, n_hi + n_lo (exact: the scale is
  // 2^-2 to 2^53), split into the nearest integer and a fraction.
  const double scale = power_of_two(m - last_place);
  const double n_hi = v.hi * scale, n_lo = v.lo * scale;
  double nearest = n_hi < 0x1p52 ? (n_hi + 0x1p52) - 0x1p52 : n_hi;
  double fraction_left = (n_hi - nearest) + n_lo;
  if (fraction_left > 0.5) {
    nearest += 1.0;
    fraction_left -= 1.0;
  } else if (fraction_left < -0.5) {
    nearest -= 1.0;
    fraction_left += 1.0;
  }
  if (0.5 - std::fabs(fraction_left) <= kHalfUncertainty) {
    // The midpoint beside `nearest`: (2 nearest +- 1) 2^(last_place - 1).
    const bool upper = fraction_left > 0;
    const std::uint64_t twice = 2 * static_cast<std::uint64_t>(nearest);
    const bool above = gaussian_power_exceeds(q, upper ? twice + 1 : twice - 1, last_place - 1);
    if (upper && above) nearest += 1.0;
    if (!upper && !above) nearest -= 1.0;
  }
  // Exact, or infinity past the largest double.
  return nearest * power_of_two(last_place);
}

}  // namespace quillfen
