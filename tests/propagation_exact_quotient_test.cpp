// The quotient of the FMA kernels against IEEE division, bit for bit, over
// the operands the propagation produces: the means and mean squares of
// sample bytes, the deviations of a sample from the mean over the variance
// (linear form) and the negated squared luma differences over twice the
// variance (Gaussian form).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "propagation/exact_quotient.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

namespace {

// The fused operations of the kernels, one lane at a time.
struct ScalarOps {
  using D = double;
  static double mul(double a, double b) { return a * b; }
  static double fmadd(double a, double b, double c) { return std::fma(a, b, c); }
  static double fnmadd(double a, double b, double c) { return std::fma(-a, b, c); }
};

double fast_quotient(double a, double b) { return exact_quotient<ScalarOps>(a, b, 1.0 / b); }

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Counts every multiple error instead of stopping at the first, and names
// the first few.
struct QuotientChecker {
  long mismatches = 0;
  void check(double a, double b, const char* what) {
    const double expected = a / b;
    const double actual = fast_quotient(a, b);
    if (same_bits(actual, expected)) return;
    if (++mismatches <= 5)
      ADD_FAILURE() << what << ": " << a << " / " << b << " gives " << actual << " instead of " << expected;
  }
};

struct Statistics {
  double mean, variance;
};

Statistics statistics(const std::vector<int>& lumas, QuotientChecker& checker) {
  double sum = 0.0, square_sum = 0.0;
  for (const int luma : lumas) {
    sum += luma;
    square_sum += luma * luma;
  }
  const double count = static_cast<double>(lumas.size());
  checker.check(sum, count, "mean");
  checker.check(square_sum, count, "mean square");
  const double mean = sum / count;
  return {mean, square_sum / count - mean * mean};
}

// Radius 1 has four samples. Every multiset of four bytes gives every
// variance radius 1 can produce; each is checked against every squared luma
// difference, the whole Gaussian domain of radius 1.
TEST(ExactQuotient, EqualsDivisionForEveryGaussianExponentOfRadiusOne) {
  std::vector<double> variances;
  std::vector<bool> seen(1021 * 260101);
  for (int a = 0; a < 256; ++a)
    for (int b = a; b < 256; ++b)
      for (int c = b; c < 256; ++c)
        for (int d = c; d < 256; ++d) {
          const int sum = a + b + c + d, square_sum = a * a + b * b + c * c + d * d;
          if (seen[sum * 260101 + square_sum]) continue;
          seen[sum * 260101 + square_sum] = true;
          const double mean = sum / 4.0;
          const double variance = square_sum / 4.0 - mean * mean;
          if (variance != 0.0) variances.push_back(variance);
        }
  std::sort(variances.begin(), variances.end());
  variances.erase(std::unique(variances.begin(), variances.end()), variances.end());
  ASSERT_GT(variances.size(), 70000u);

  QuotientChecker checker;
  for (const double variance : variances)
    for (int d = 0; d < 256; ++d) checker.check(static_cast<double>(-(d * d)), variance + variance, "gaussian");
  EXPECT_EQ(checker.mismatches, 0);
}

// The sample counts of radius 1 to 8, interior and mirrored, with sample
// lumas drawn to give wide, narrow, two-level and almost flat
// distributions; every sample's deviation and every centre luma's exponent
// is checked.
TEST(ExactQuotient, EqualsDivisionForRandomSamplesOfEveryCount) {
  SyntheticRandom random(2718);
  QuotientChecker checker;
  std::vector<int> lumas;
  for (int round = 0; round < 20000; ++round) {
    const int count = 1 + random.below(289);
    const int kind = round % 4;
    const int base = random.below(256);
    lumas.clear();
    for (int i = 0; i < count; ++i) {
      switch (kind) {
        case 0: lumas.push_back(random.below(256)); break;
        case 1: lumas.push_back(std::clamp(base + random.below(9) - 4, 0, 255)); break;
        case 2: lumas.push_back(random.below(2) ? 255 : 0); break;
        default: lumas.push_back(i == 0 ? (base + 1) % 256 : base); break;
      }
    }
    const Statistics stats = statistics(lumas, checker);
    if (stats.variance == 0.0) continue;
    for (const int luma : lumas) checker.check(luma - stats.mean, stats.variance, "linear");
    const int centre = random.below(256);
    for (const int luma : lumas)
      checker.check(static_cast<double>(-((centre - luma) * (centre - luma))), stats.variance + stats.variance,
                    "gaussian");
  }
  EXPECT_EQ(checker.mismatches, 0);
}

}  // namespace

}  // namespace quillfen
