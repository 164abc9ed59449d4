// The exact product of two doubles as the sum of two, product + error, by
// Dekker's splitting: for builds whose CPU has no fused multiply-add, where
// the library's fma is done in software and not everywhere exact. Every
// operation is an ordinary double one, so the result is the same on every
// platform.
#pragma once

namespace quillfen {

inline void split_product(double a, double b, double& product, double& error) {
  const auto split = [](double x, double& high, double& low) {
    const double c = 0x1.0000002p27 * x;  // 2^27 + 1
    high = c - (c - x);
    low = x - high;
  };
  double a_high, a_low, b_high, b_low;
  split(a, a_high, a_low);
  split(b, b_high, b_low);
  product = a * b;
  error = ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low;
}

}  // namespace quillfen
