// The Gaussian weight for the exponents that the fast form
// (exact_gaussian_power.h) leaves undecided: the double nearest
// kGaussianBase^q, ties to even, subnormal results as the format has them,
// 0 below half the least subnormal and infinity above the largest double.
//
// Compiled once, out of line, with the build's baseline instructions: it
// serves a few exponents in a thousand, so its cost hardly counts, and one
// copy cannot give another kernel other bits.
#pragma once

#include <cstdint>

namespace quillfen {

// ln(kGaussianBase) = 1 + kLnBaseLo + kLnBaseLower to within 2^-160. The
// base is the double nearest e, just below it.
inline constexpr double kGaussianPowerBase = 0x1.5bf0a8b145769p+1;
inline constexpr double kLnBaseLo = -0x1.ea8556644e4cdp-55;
inline constexpr double kLnBaseLower = -0x1.15c49a986d5ap-109;

// By a double-double evaluation, and where its error leaves the rounding
// open, by the final step below.
double precise_gaussian_power(double q);

// Whether kGaussianBase^q exceeds m * 2^exponent: the final step, in wide
// fixed point (wide_fixed.h), at growing precision until the comparison is
// decided. The power is never exactly such a number but for q = 0 and 1
// (kGaussianBase^q for any other double q is irrational or not a dyadic
// fraction), so a precision that decides it exists; the first, 224 bits,
// decides anything the double-double left open.
bool gaussian_power_exceeds(double q, std::uint64_t m, int exponent);

}  // namespace quillfen
