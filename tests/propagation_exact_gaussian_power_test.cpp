// The exact Gaussian power against the standard library's pow, bit for bit,
// over the exponents the pass forms on real-looking frames and over
// exponents whose power lies right at a rounding boundary; and its
// error against quadruple precision, which the bound it relies on needs.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "propagation/exact_gaussian_power.h"
#include "propagation/pass_kernels.h"
#include "propagation/reference_pass.h"
#include "tests/support/synthetic_image.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSweepScale = 16;  // the same sweep, every 16th variance
#else
constexpr int kSweepScale = 1;
#endif

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every form of the exact power: the scalar one, the scalar one that also
// decides results near one, and the vector one of every kernel this CPU
// supports that has it.
struct PowerForm {
  std::string name;
  std::size_t (*powers)(const double* exponents, double* powers, std::size_t count);
};

std::vector<PowerForm> power_forms() {
  std::vector<PowerForm> forms{{"scalar", exact_gaussian_powers<ScalarExactPowerOps>},
                               {"scalar near one", exact_gaussian_powers<ScalarExactPowerOps, true>}};
  for (const PassKernel& kernel : supported_pass_kernels())
    if (kernel.gaussian_powers != nullptr) forms.push_back({kernel.name, kernel.gaussian_powers});
  return forms;
}

// Checks exponents in batches against the library, in every form; counts
// what the library serves and names the first few mismatches.
class PowerChecker {
 public:
  // Many whole blocks of the vector forms, then a tail shorter than a
  // register.
  static constexpr std::size_t kBatch = (1 << 16) + 5;
  ~PowerChecker() { flush(); }
  void check(double q) {
    batch_.push_back(q);
    if (!(std::fabs(q) <= 708.0)) ++out_of_range;
    if (batch_.size() == kBatch) flush();
  }
  void flush() {
    std::vector<double> expected(batch_.size()), actual(batch_.size());
    for (std::size_t i = 0; i < batch_.size(); ++i) expected[i] = std::pow(kGaussianBase, batch_[i]);
    std::size_t scalar_served = 0;
    for (const PowerForm& form : forms_) {
      const std::size_t served = form.powers(batch_.data(), actual.data(), batch_.size());
      // Every form but the one near one makes the same decisions, so the
      // library serves each the same exponents; near one it serves fewer.
      if (form.name == "scalar") scalar_served = served;
      if (form.name == "scalar near one")
        EXPECT_LE(served, scalar_served);
      else
        EXPECT_EQ(served, scalar_served) << form.name;
      for (std::size_t i = 0; i < batch_.size(); ++i)
        if (!same_bits(actual[i], expected[i]) && ++mismatches <= 5)
          ADD_FAILURE() << form.name << ", q = " << std::hexfloat << batch_[i] << ": " << actual[i] << " instead of "
                        << expected[i];
    }
    undecided += static_cast<long>(scalar_served);
    batch_.clear();
  }
  long out_of_range = 0;  // |q| above 708 or NaN, always served by the library
  long undecided = 0;     // served by the library in the scalar form
  long mismatches = 0;

 private:
  const std::vector<PowerForm> forms_ = power_forms();
  std::vector<double> batch_;
};

// Every distinct variance of the centres of real-looking frames at radius
// 1 to 8, as the pass computes it.
std::vector<double> frame_variances() {
  std::vector<double> variances;
  const int width = 160, height = 90;
  for (const std::uint32_t seed : {7u, 2024u})
    for (const int radius : {1, 2, 3, 4, 8}) {
      const std::vector<BYTE> image = synthetic_image(width, height, seed);
      const PassSettings settings{width, height, radius, true};
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          const double variance = sample_luma_statistics(settings, image.data(), x, y).variance;
          if (variance != 0.0) variances.push_back(variance);
        }
    }
  std::sort(variances.begin(), variances.end());
  variances.erase(std::unique(variances.begin(), variances.end()), variances.end());
  return variances;
}

TEST(ExactGaussianPower, EqualsTheLibraryForEveryExponentOfRealFrames) {
  const std::vector<double> variances = frame_variances();
  ASSERT_GT(variances.size(), 30000u);
  PowerChecker checker;
  long count = 0;
  for (std::size_t i = 0; i < variances.size(); i += kSweepScale)
    for (int d = 1; d < 256; ++d, ++count)
      checker.check(static_cast<double>(-(d * d)) / (variances[i] + variances[i]));
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
  // The fast form must decide nearly all those it may decide, or it is no
  // faster.
  const long in_range = count - checker.out_of_range;
  EXPECT_LT(checker.undecided - checker.out_of_range, in_range / 20) << checker.undecided << " of " << in_range;
}

// Exponents spread evenly over the decided range, with their neighbours one
// unit in the last place away, and the edge cases of the decision.
TEST(ExactGaussianPower, EqualsTheLibraryOverTheWholeRangeAndAtItsEdges) {
  PowerChecker checker;
  SyntheticRandom random(1105);
  for (int i = 0; i < 2000000 / kSweepScale; ++i) {
    // Mostly the pass's negative exponents, some positive ones.
    const double q = std::ldexp(static_cast<double>(random.next()), -32) * (i % 2 ? -710.0 : i % 8 ? -8.0 : 710.0);
    checker.check(q);
    checker.check(std::nextafter(q, 0.0));
    // Powers just under 1.
    checker.check(std::ldexp(q, -20));
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (const double q : {0.0,
                         -0.0,
                         -0x1p-60,
                         -0x1p-30,
                         -1e-300,
                         -708.0,
                         -708.0000000000001,
                         -708.4,
                         -745.2,
                         -746.0,
                         -1000.0,
                         -inf,
                         0x1p-30,
                         1.0,
                         708.0,
                         708.0000000000001,
                         709.7,
                         710.0,
                         inf,
                         std::numeric_limits<double>::quiet_NaN()})
    checker.check(q);
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
}

// Powers that are nearly a power of two, where the ULP changes, and powers
// whose exact value lies close to the midpoint between two doubles, where
// the library may round either way: the first stretch that the decision
// takes and the undecided stretch beyond it.
TEST(ExactGaussianPower, EqualsTheLibraryRightAtRoundingBoundaries) {
  PowerChecker checker;
  for (int m = 1; m <= 1021; ++m) {
    const double q = -m * std::log(2.0) / std::log(kGaussianBase);
    // From two units in the last place below to two above: powers on both
    // sides of 2^-m.
    double near = std::nextafter(std::nextafter(q, -1e9), -1e9);
    for (int step = 0; step < 5; ++step, near = std::nextafter(near, 0.0)) checker.check(near);
  }
  SyntheticRandom random(2981);
  int near_midpoint = 0;
  for (int i = 0; i < 4000000 / kSweepScale; ++i) {
    const double q = -std::ldexp(static_cast<double>(random.next()), -32) * 40.0;
    const ExactGaussianPowerParts<ScalarExactPowerOps> parts = exact_gaussian_power_parts<ScalarExactPowerOps>(q);
    const double distance = std::fabs(parts.lo) / (parts.hi < 1.0 ? 0x1p-53 : 0x1p-52);
    if (distance < 0.47) continue;
    ++near_midpoint;
    checker.check(q);
  }
  EXPECT_GT(near_midpoint, 1000);
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
}

TEST(ExactGaussianPower, FractionTableHoldsPowersOfTwoAndWhatTheirRoundingLeftOut) {
  for (int j = 0; j < kExp2Fractions; ++j) {
    const __float128 exact = exp2q(static_cast<__float128>(j) / kExp2Fractions);
    const Exp2Fraction& entry = kExp2FractionTable.entry[j];
    EXPECT_EQ(entry.hi, static_cast<double>(exact)) << j;
    EXPECT_LE(static_cast<double>(fabsq(entry.rho - logq(exact / entry.hi))), 0x1p-104) << j;
  }
}

// The decision assumes 2^m (hi + lo) within 2^-63.1 of b^q relative to it;
// measured against quadruple precision (good to about 2^-100 here) over the
// decided range.
TEST(ExactGaussianPower, StaysWithinItsErrorBudget) {
  const __float128 ln_base = logq(static_cast<__float128>(kGaussianBase));
  SyntheticRandom random(4321);
  double worst = 0.0;
  for (int i = 0; i < 200000 / kSweepScale; ++i) {
    const double q = std::ldexp(static_cast<double>(random.next()), -32) * (i % 3 ? -708.0 : i % 2 ? 708.0 : -10.0);
    const ExactGaussianPowerParts<ScalarExactPowerOps> parts = exact_gaussian_power_parts<ScalarExactPowerOps>(q);
    const int scale =
        std::ilogb(ScalarExactPowerOps::scale_by_exponent(parts.hi, parts.shifted)) - std::ilogb(parts.hi);
    const __float128 computed = ldexpq(static_cast<__float128>(parts.hi) + parts.lo, scale);
    const __float128 exact = expq(static_cast<__float128>(q) * ln_base);
    worst = std::max(worst, static_cast<double>(fabsq(computed / exact - 1)));
  }
  EXPECT_LT(worst, std::exp2(-63.1));
}

}  // namespace
