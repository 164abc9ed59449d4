// The Gaussian weight on the exponents whose power lies closest to a
// midpoint between two doubles, with the weight MPFR gave them on the
// machine that searched for them (tests/tools/gaussian_weight_sweep.cpp),
// so that builds without MPFR (aarch64 under the emulator, Windows under
// Wine) hold every form to the same bits, and the final step alone to the
// side of the midpoint.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/gaussian_weight_forms.h"

namespace quillfen {
namespace {

struct HardCase {
  double q, weight;
  double to_midpoint;  // (power - midpoint) / place, as MPFR measured it
};

constexpr HardCase kHardCases[] = {
#include "tests/gaussian_weight_hard_cases.inc"
};

TEST(GaussianWeightHardCases, EveryFormGivesTheCorrectlyRoundedWeight) {
  std::vector<double> exponents;
  for (const HardCase& hard : kHardCases) exponents.push_back(hard.q);
  std::vector<double> powers(exponents.size());
  for (const GaussianWeightForm& form : gaussian_weight_forms()) {
    form.powers(exponents.data(), powers.data(), exponents.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < exponents.size(); ++i)
      if (!same_bits(powers[i], kHardCases[i].weight) && ++mismatches <= 5)
        ADD_FAILURE() << form.name << ", q = " << std::hexfloat << exponents[i] << ": " << powers[i] << " instead of "
                      << kHardCases[i].weight;
  }
}

// The power lies above the midpoint below the weight and below the one
// above it.
TEST(GaussianWeightHardCases, FinalStepTellsTheSideOfTheMidpoints) {
  for (const HardCase& hard : kHardCases)
    for (const bool above : {false, true}) {
      const WeightMidpoint midpoint = midpoint_beside(hard.weight, above);
      EXPECT_EQ(gaussian_power_exceeds(hard.q, midpoint.m, midpoint.exponent), !above)
          << std::hexfloat << hard.q << (above ? " above " : " below ") << hard.weight;
    }
}

}  // namespace

}  // namespace quillfen
