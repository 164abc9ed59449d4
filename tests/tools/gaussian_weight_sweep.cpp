// One-off check of the Gaussian weight on very many exponents, not a test:
// every form the filter computes it by (the exact power of each kernel this
// CPU runs, the precise form alone) against the correctly rounded power.
// Prints the count, any difference, and the exponents of magnitude 2^-40
// and up whose power came closest to a midpoint between two doubles, with
// the weight's bits, as lines for tests/gaussian_weight_hard_cases.inc.
//
// The correctly rounded power of each exponent comes from
// MpfrWeight::weight_quickly (x87's powl where that decides the rounding,
// MPFR elsewhere), and from MPFR alone on every 1000th exponent.
//
//   build/tests/quillfen_gaussian_weight_sweep COUNT SEED [KEPT]
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

#include "propagation/pass_kernels.h"
#include "tests/support/gaussian_weight_forms.h"
#include "tests/support/mpfr_weight.h"

namespace quillfen {

namespace {

std::uint64_t next_random(std::uint64_t &state) {  // SplitMix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
double unit(std::uint64_t &state) { return static_cast<double>(next_random(state) >> 11) * 0x1p-53; }

// The pass's exponents -d^2 / (2 variance), variance a multiple of 1 /
// n^2 for n samples, at every depth; uniform ones down to underflow;
// magnitudes spread over many binades; positive ones up to overflow; and
// +-(2i + 1) 2^-53 and +-(2i + 1) 2^-54, whose powers 1 + q ln b lie right
// beside the midpoints 1 + q.
double exponent(std::uint64_t &state) {
  switch (next_random(state) % 6) {
    case 5: {
      const double odd = static_cast<double>(2 * (next_random(state) % 512) + 1);
      return next_random(state) & 1 ? std::ldexp(odd, -53) : -std::ldexp(odd, -54);
    }
    case 0: {
      const int radius = 1 + static_cast<int>(next_random(state) % 8);
      const double n = (2.0 * radius + 1) * (2 * radius + 1);
      const double range = (next_random(state) & 1) ? 255.0 : 65535.0;
      const double d = 1.0 + std::floor(unit(state) * range);
      const double variance = std::floor(unit(state) * unit(state) * range * range / 4 * n * n + n - 1) / (n * n);
      return -(d * d) / (variance + variance);
    }
    case 1:
      return -746.0 * unit(state);
    case 2:
      return -std::ldexp(1.0 + unit(state), -static_cast<int>(next_random(state) % 60) + 9);
    case 3:
      return 710.0 * unit(state);
    default:
      return -unit(state) * 40.0;
  }
}

struct Kept {
  double q, weight, to_midpoint;
};

}  // namespace

int run_program(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gaussian_weight_sweep COUNT SEED [KEPT]\n");
    return 2;
  }
  const long long count = std::atoll(argv[1]);
  std::uint64_t state = std::strtoull(argv[2], nullptr, 0);
  const std::size_t kept_most = argc > 3 ? std::strtoul(argv[3], nullptr, 0) : 300;
  MpfrWeight mpfr;
  std::vector<PassKernel> kernels;
  for (const PassKernel &kernel : supported_pass_kernels())
    if (kernel.gaussian_powers != nullptr) kernels.push_back(kernel);

  constexpr std::size_t kBlock = 4096;
  std::vector<double> q(kBlock), powers(kBlock), expected(kBlock);
  std::vector<Kept> kept;
  // The exponents beside 1 + q are a family of 2048, drawn again and again:
  // each asks MPFR once.
  std::unordered_map<std::uint64_t, double> family;
  long long checked = 0, differences = 0;
  long by_mpfr = 0;
  while (checked < count) {
    const std::size_t size = static_cast<std::size_t>(std::min<long long>(kBlock, count - checked));
    for (std::size_t i = 0; i < size; ++i) q[i] = exponent(state);
    for (std::size_t i = 0; i < size; ++i) {
      double to_midpoint;
      if (std::fabs(q[i]) < 0x1p-40) {
        const auto [at, added] = family.try_emplace(std::bit_cast<std::uint64_t>(q[i]), 0.0);
        if (added) at->second = (++by_mpfr, mpfr.weight(q[i], &to_midpoint));
        expected[i] = at->second;
        continue;
      }
      expected[i] = (checked + static_cast<long long>(i)) % 1000 == 0
                        ? (++by_mpfr, mpfr.weight(q[i], &to_midpoint))
                        : mpfr.weight_quickly(q[i], &to_midpoint, &by_mpfr);
      const auto kept_already = [&] {
        return std::any_of(kept.begin(), kept.end(), [&](const Kept &k) { return same_bits(k.q, q[i]); });
      };
      // The exponents beside 1 + q are known by their form; the tests make
      // them so. The list keeps the others.
      if (std::fabs(q[i]) >= 0x1p-40 &&
          (kept.size() < kept_most || std::fabs(to_midpoint) < std::fabs(kept.back().to_midpoint)) && !kept_already()) {
        const Kept entry{q[i], expected[i], to_midpoint};
        const auto at = std::lower_bound(kept.begin(), kept.end(), entry, [](const Kept &a, const Kept &b) {
          return std::fabs(a.to_midpoint) < std::fabs(b.to_midpoint);
        });
        kept.insert(at, entry);
        if (kept.size() > kept_most) kept.pop_back();
      }
    }
    const auto compare = [&](const char *form) {
      for (std::size_t i = 0; i < size; ++i)
        if (!same_bits(powers[i], expected[i]) && ++differences <= 20)
          std::printf("difference: %s q = %a: %a instead of %a\n", form, q[i], powers[i], expected[i]);
    };
    for (const PassKernel &kernel : kernels) {
      kernel.gaussian_powers(q.data(), powers.data(), size);
      compare(kernel.name);
    }
    for (std::size_t i = 0; i < size; ++i) powers[i] = precise_gaussian_power(q[i]);
    compare("precise");
    checked += static_cast<long long>(size);
    if (checked % (kBlock * 2500) == 0 || checked == count) {
      std::printf("%lld checked, %ld by MPFR, %lld differences, closest %.3e\n", checked, by_mpfr, differences,
                  kept.empty() ? 0.5 : std::fabs(kept.front().to_midpoint));
      std::fflush(stdout);
    }
  }
  std::printf(
      "checked %lld exponents in %zu forms each, %ld by MPFR, %lld "
      "differences\n",
      checked, kernels.size() + 1, by_mpfr, differences);
  std::printf("closest to a midpoint (q, weight, distance in places):\n");
  for (const Kept &k : kept) std::printf("{%a, %a, %.3e},\n", k.q, k.weight, k.to_midpoint);
  return differences == 0 ? 0 : 1;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }
