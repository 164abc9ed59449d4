// The final step of the Gaussian weight's rounding: on which side of a
// rounding boundary kGaussianBase^q lies, in wide fixed point.
#include <cstdint>

#include "propagation/gaussian_power_precise.h"
#include "propagation/wide_fixed.h"

namespace quillfen {

namespace {

// +1 if kGaussianBase^q exceeds m * 2^exponent by more than this
// precision's error, -1 if it falls short by more, 0 if undecided. For
// 2^-54 <= |q| <= 746 and m * 2^exponent within a factor of two of the
// power, as the double-double evaluation passes them: q and the boundary
// scaled by 2^-k are then exact in the format.
template <int kLimbs>
int compare_power(double q, std::uint64_t m, int exponent) {
  using Fixed = WideFixed<kLimbs>;
  const Fixed one = Fixed::integer(1);
  // ln b = 1 + ln(b / e), and ln(1 + y) = y - y^2/2 + ... for y = b/e - 1,
  // |y| < 2^-53.
  const Fixed y = Fixed::from_double(kGaussianPowerBase) * wide_exp(-one) - one;
  Fixed ln_ratio, y_power = y;
  for (std::uint32_t n = 1; !y_power.is_zero(); ++n, y_power = y_power * y)
    ln_ratio = n % 2 ? ln_ratio + y_power.divided_by(n) : ln_ratio - y_power.divided_by(n);
  const Fixed t = Fixed::from_double(q) * (one + ln_ratio);
  // b^q = e^t = 2^k e^r, r = t - k ln 2, k the integer nearest t / ln 2
  // from doubles: |r| stays below 0.36.
  const double k_estimate = q * 0x1.71547652b82fep0;
  const int k = static_cast<int>(k_estimate < 0 ? k_estimate - 0.5 : k_estimate + 0.5);
  const Fixed k_ln2 = wide_ln2<kLimbs>().times(static_cast<std::uint32_t>(k < 0 ? -k : k));
  const Fixed power = wide_exp(k < 0 ? t + k_ln2 : t - k_ln2);
  // The error of `power`, in units of the last fraction bit: below
  // 2^11 for ln b (e^-1 within 4 units a term of its series, times b),
  // times |q| < 2^9.6 in t; below 2^10 for ln 2 (a unit a term), times |k|
  // < 2^10.1; so below 2^21.4 for r, which e^r < 1.44 multiplies, and 4
  // units a term of that series: below 2^22 in all, taken as 2^26.
  const Fixed bound = Fixed::scaled(1, 26 - Fixed::kFractionBits);
  const Fixed difference = power - Fixed::scaled(m, exponent - k);
  if (bound < difference) return 1;
  if (difference < -bound) return -1;
  return 0;
}

}  // namespace

bool gaussian_power_exceeds(double q, std::uint64_t m, int exponent) {
  if (const int side = compare_power<8>(q, m, exponent)) return side > 0;
  if (const int side = compare_power<16>(q, m, exponent)) return side > 0;
  // Within 2^-960 of the boundary, far closer than any exponent is known
  // to come: taken as above it.
  return compare_power<32>(q, m, exponent) >= 0;
}

}  // namespace quillfen
