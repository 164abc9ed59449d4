// The Gaussian weight in every form the filter computes it by, against
// MPFR, bit for bit: over the exponents the pass forms on real-looking
// frames, over the whole range down to underflow and up to overflow, and
// right at rounding boundaries; the final step alone on which side of a
// midpoint the power lies; and what the fast form relies on, its table
// and its error, against MPFR too; and the bounded power that decides most
// stored values within its bound of e^q.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "propagation/bounded_gaussian_power.h"
#include "propagation/pass_kernels.h"
#include "propagation/reference_pass.h"
#include "tests/support/gaussian_weight_forms.h"
#include "tests/support/mpfr_weight.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSweepScale = 16;  // the same sweep, every 16th exponent
#else
constexpr int kSweepScale = 1;
#endif

// Checks exponents in batches in every form; counts what the fast form
// leaves undecided and names the first few mismatches.
class WeightChecker {
 public:
  // Many whole blocks of the vector forms, then a tail shorter than a
  // register.
  static constexpr std::size_t kBatch = (1 << 16) + 5;
  ~WeightChecker() { flush(); }
  void check(double q) {
    batch_.push_back(q);
    if (!(std::fabs(q) <= 708.0)) ++out_of_range;
    if (batch_.size() == kBatch) flush();
  }
  void flush() {
    std::vector<double> expected(batch_.size()), actual(batch_.size());
    for (std::size_t i = 0; i < batch_.size(); ++i) expected[i] = mpfr_.weight_quickly(batch_[i]);
    std::size_t scalar_undecided = 0;
    for (const GaussianWeightForm& form : forms_) {
      const std::size_t undecided = form.powers(batch_.data(), actual.data(), batch_.size());
      // The vector forms decide as the scalar one; near one it decides more.
      if (form.name == "scalar") scalar_undecided = undecided;
      if (form.name == "scalar near one" || form.name == "unfused scalar") {
        EXPECT_LE(undecided, scalar_undecided);
      } else if (form.name != "weight" && form.name != "precise") {
        EXPECT_EQ(undecided, scalar_undecided) << form.name;
      }
      for (std::size_t i = 0; i < batch_.size(); ++i)
        if (!same_bits(actual[i], expected[i]) && !(std::isnan(actual[i]) && std::isnan(expected[i])) &&
            ++mismatches <= 5)
          ADD_FAILURE() << form.name << ", q = " << std::hexfloat << batch_[i] << ": " << actual[i] << " instead of "
                        << expected[i];
    }
    undecided += static_cast<long>(scalar_undecided);
    batch_.clear();
  }
  long out_of_range = 0;  // |q| above 708 or NaN, always left undecided
  long undecided = 0;     // by the scalar fast form
  long mismatches = 0;

 private:
  const std::vector<GaussianWeightForm> forms_ = gaussian_weight_forms();
  MpfrWeight mpfr_;
  std::vector<double> batch_;
};

// Every distinct variance of the centres of real-looking frames at radius
// 1 to 8, as the pass computes it.
std::vector<double> frame_variances() {
  std::vector<double> variances;
  const int width = 64, height = 36;
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

TEST(GaussianWeight, EqualsMpfrForEveryExponentOfRealFrames) {
  const std::vector<double> variances = frame_variances();
  ASSERT_GT(variances.size(), 5000u);
  WeightChecker checker;
  long count = 0;
  for (std::size_t i = 0; i < variances.size(); i += kSweepScale)
    for (int d = 1; d < 256; ++d, ++count) checker.check(static_cast<double>(-(d * d)) / (variances[i] + variances[i]));
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
  // The fast form must decide nearly all those it may decide, or the
  // filter is no faster.
  const long in_range = count - checker.out_of_range;
  EXPECT_LT(checker.undecided - checker.out_of_range, in_range / 100) << checker.undecided << " of " << in_range;
}

// Exponents spread evenly over the range, with their neighbours one place
// away; results that are subnormal, underflow or overflow; and the edges.
TEST(GaussianWeight, EqualsMpfrOverTheWholeRangeAndAtItsEdges) {
  WeightChecker checker;
  SyntheticRandom random(1105);
  for (int i = 0; i < 250000 / kSweepScale; ++i) {
    // Mostly the pass's negative exponents, some positive ones.
    const double q = std::ldexp(static_cast<double>(random.next()), -32) * (i % 2 ? -746.0 : i % 8 ? -8.0 : 710.0);
    checker.check(q);
    checker.check(std::nextafter(q, 0.0));
    checker.check(std::ldexp(q, -20));  // powers just under 1
    // Subnormal results: b^q down from 2^-1022 to half the least one.
    checker.check(-708.3 - std::ldexp(static_cast<double>(random.next()), -32) * 37.0);
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (const double q : {0.0,
                         -0.0,
                         -0x1p-60,
                         -0x1p-54,
                         0x1p-54,
                         -0x1p-30,
                         -1e-300,
                         -708.0,
                         -708.0000000000001,
                         -708.4,
                         -744.44,
                         -745.13,
                         -745.14,
                         -745.2,
                         -746.0,
                         -1000.0,
                         -inf,
                         0x1p-30,
                         1.0,
                         2.0,
                         708.0,
                         709.78,
                         709.79,
                         710.0,
                         inf,
                         std::numeric_limits<double>::quiet_NaN()})
    checker.check(q);
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
}

// Powers that are nearly a power of two, where the last place changes;
// powers close to a midpoint between two doubles by the fast form's own
// account; and those of exponents small enough that b^q = 1 + q ln b lies
// right beside the midpoint 1 + q, q = (2i + 1) 2^-53 or below 1 alike,
// which only the final step decides.
TEST(GaussianWeight, EqualsMpfrRightAtRoundingBoundaries) {
  WeightChecker checker;
  for (int m = -1074; m <= 1023; ++m) {
    const double q = m * std::log(2.0) / std::log(kGaussianBase);
    double near = std::nextafter(std::nextafter(q, -1e9), -1e9);
    for (int step = 0; step < 5; ++step, near = std::nextafter(near, 1e9)) checker.check(near);
  }
  SyntheticRandom random(2981);
  int near_midpoint = 0;
  for (int i = 0; i < 4000000 / kSweepScale; ++i) {
    const double q = -std::ldexp(static_cast<double>(random.next()), -32) * 40.0;
    const ExactGaussianPowerParts<ScalarExactPowerOps> parts = exact_gaussian_power_parts<ScalarExactPowerOps>(q);
    if (std::fabs(parts.lo) / (parts.hi < 1.0 ? 0x1p-53 : 0x1p-52) < 0.49) continue;
    ++near_midpoint;
    checker.check(q);
  }
  EXPECT_GT(near_midpoint, 1000);
  for (int e = 36; e <= 53; ++e)
    for (std::uint64_t odd = 1; odd < 200; odd += 2) {
      checker.check(std::ldexp(static_cast<double>(odd), -e - 17));
      checker.check(-std::ldexp(static_cast<double>(odd), -e - 18));
    }
  checker.flush();
  EXPECT_EQ(checker.mismatches, 0);
}

// The final step alone, on both midpoints beside the weight of exponents
// whose power lies near one of them, and of random ones: it must tell on
// which side the power lies, which MPFR's weight shows.
TEST(GaussianWeight, FinalStepTellsTheSideOfTheMidpoints) {
  MpfrWeight mpfr;
  std::vector<double> exponents;
  for (int e = 36; e <= 45; e += 3)
    for (std::uint64_t odd = 1; odd < 40; odd += 2) {
      exponents.push_back(std::ldexp(static_cast<double>(odd), -e - 17));
      exponents.push_back(-std::ldexp(static_cast<double>(odd), -e - 18));
    }
  SyntheticRandom random(77);
  for (int i = 0; i < 300; ++i) exponents.push_back(-std::ldexp(static_cast<double>(random.next()), -32) * 745.0);
  for (const double q : exponents) {
    const double weight = mpfr.weight(q);
    for (const bool above : {false, true}) {
      const WeightMidpoint midpoint = midpoint_beside(weight, above);
      EXPECT_EQ(gaussian_power_exceeds(q, midpoint.m, midpoint.exponent), !above)
          << std::hexfloat << q << (above ? " above " : " below ") << weight;
    }
  }
}

TEST(GaussianWeight, FractionTableHoldsPowersOfTwoAndWhatTheirRoundingLeftOut) {
  mpfr_t exact, ratio;
  mpfr_inits2(256, exact, ratio, (mpfr_ptr) nullptr);
  for (int j = 0; j < kExp2Fractions; ++j) {
    mpfr_set_si(exact, j, MPFR_RNDN);
    mpfr_div_si(exact, exact, kExp2Fractions, MPFR_RNDN);
    mpfr_exp2(exact, exact, MPFR_RNDN);
    const Exp2Fraction& entry = kExp2FractionTable.entry[j];
    EXPECT_EQ(entry.hi, mpfr_get_d(exact, MPFR_RNDN)) << j;
    mpfr_div_d(ratio, exact, entry.hi, MPFR_RNDN);
    mpfr_log(ratio, ratio, MPFR_RNDN);
    mpfr_sub_d(ratio, ratio, entry.rho, MPFR_RNDN);
    EXPECT_LE(std::fabs(mpfr_get_d(ratio, MPFR_RNDN)), 0x1p-104) << j;
  }
  mpfr_clears(exact, ratio, (mpfr_ptr) nullptr);
}

// The fast form's decision assumes 2^m (hi + lo) within 2^-63.1 of b^q
// relative to it, with fused multiply-adds and without; measured against
// MPFR over the decided range.
TEST(GaussianWeight, FastFormStaysWithinItsErrorBudget) {
  mpfr_t exact, computed, q;
  mpfr_inits2(256, exact, computed, q, (mpfr_ptr) nullptr);
  mpfr_t base;
  mpfr_init2(base, 53);
  mpfr_set_d(base, kGaussianBase, MPFR_RNDN);
  SyntheticRandom random(4321);
  // The error relative to b^q of either form's 2^m (hi + lo).
  const auto error = [&]<class Ops>(double exponent) {
    const ExactGaussianPowerParts<Ops> parts = exact_gaussian_power_parts<Ops>(exponent);
    const int scale = std::ilogb(Ops::scale_by_exponent(parts.hi, parts.shifted)) - std::ilogb(parts.hi);
    mpfr_set_d(computed, parts.hi, MPFR_RNDN);
    mpfr_add_d(computed, computed, parts.lo, MPFR_RNDN);
    mpfr_mul_2si(computed, computed, scale, MPFR_RNDN);
    mpfr_div(computed, computed, exact, MPFR_RNDN);
    mpfr_sub_ui(computed, computed, 1, MPFR_RNDN);
    return std::fabs(mpfr_get_d(computed, MPFR_RNDN));
  };
  double worst = 0.0, worst_unfused = 0.0;
  for (int i = 0; i < 50000 / kSweepScale; ++i) {
    const double exponent =
        std::ldexp(static_cast<double>(random.next()), -32) * (i % 3 ? -708.0 : i % 2 ? 708.0 : -10.0);
    mpfr_set_d(q, exponent, MPFR_RNDN);
    mpfr_pow(exact, base, q, MPFR_RNDN);
    worst = std::max(worst, error.operator()<ScalarExactPowerOps>(exponent));
    worst_unfused = std::max(worst_unfused, error.operator()<UnfusedScalarExactPowerOps>(exponent));
  }
  mpfr_clears(exact, computed, q, base, (mpfr_ptr) nullptr);
  EXPECT_LT(worst, std::exp2(-63.1));
  EXPECT_LT(worst_unfused, std::exp2(-63.1));
}

// The bounded power of each kernel that has one, against e^q by MPFR,
// relative to it: within kBoundedPowerError at every whole k of the
// reduction the covered range holds, r spread over [-ln 2 / 2, ln 2 / 2]
// and right at its ends (each side of a tie of the rounding of k), where
// the truncation is largest; at the ends of the range; and on the
// exponents of real-looking frames.
TEST(GaussianWeight, BoundedPowerStaysWithinItsBound) {
  std::vector<double> exponents = {0.0, -0.0, -0x1p-1074, -0x1p-60, kBoundedPowerLowestExponent};
  const double ln2 = std::log(2.0);
  for (int k = 0; k >= -1021; --k)
    for (int step = -64; step <= 64; ++step) {
      const double q = (k + step / 128.0) * ln2;
      for (const double near : {std::nextafter(q, -1.0), q, std::nextafter(q, 1.0)})
        if (near <= 0.0 && near >= kBoundedPowerLowestExponent) exponents.push_back(near);
    }
  const std::vector<double> variances = frame_variances();
  for (std::size_t i = 0; i < variances.size(); i += 7 * kSweepScale)
    for (int d = 1; d < 256; ++d) {
      const double q = static_cast<double>(-(d * d)) / (variances[i] + variances[i]);
      if (q >= kBoundedPowerLowestExponent) exponents.push_back(q);
    }
  // The sweep over k gives about 395,000; the frames add the rest, fewer
  // in the sanitizer builds' sparser sweep.
  ASSERT_GT(exponents.size(), 400000u);
  std::vector<double> exact(exponents.size());
  mpfr_t value;
  mpfr_init2(value, 128);
  for (std::size_t i = 0; i < exponents.size(); ++i) {
    mpfr_set_d(value, exponents[i], MPFR_RNDN);
    mpfr_exp(value, value, MPFR_RNDN);
    exact[i] = mpfr_get_d(value, MPFR_RNDN);
  }
  mpfr_clear(value);
  for (const PassKernel& kernel : supported_pass_kernels()) {
    const BoundedGaussianPowers bounded_powers = bounded_gaussian_powers_of(kernel);
    if (bounded_powers == nullptr) continue;
    std::vector<double> powers(exponents.size());
    bounded_powers(exponents.data(), powers.data(), exponents.size());
    double worst = 0.0;
    std::size_t worst_at = 0;
    for (std::size_t i = 0; i < exponents.size(); ++i) {
      // Both within 2^-52 of their quotient's: far inside the bound.
      const double error = std::fabs(powers[i] / exact[i] - 1.0);
      if (!(error <= worst)) worst = error, worst_at = i;
    }
    EXPECT_LE(worst, kBoundedPowerError) << kernel.name << ", q = " << std::hexfloat << exponents[worst_at];
  }
}

}  // namespace

}  // namespace quillfen
