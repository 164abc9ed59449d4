// Every form in which the filter computes the Gaussian weight, for the
// tests that hold them to its definition: the weight itself, the precise
// form alone, the scalar fast form with and without the decision near one
// and without fused multiply-adds,
// and the vector form of each kernel this CPU runs that has one. Each
// returns how many exponents it left to the precise form (0 for the first
// two).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "propagation/affinity.h"
#include "propagation/exact_gaussian_power.h"
#include "propagation/pass_kernels.h"

namespace quillfen {

struct GaussianWeightForm {
  std::string name;
  std::size_t (*powers)(const double* exponents, double* powers, std::size_t count);
};

inline std::vector<GaussianWeightForm> gaussian_weight_forms() {
  std::vector<GaussianWeightForm> forms{{"weight",
                                         [](const double* q, double* powers, std::size_t count) -> std::size_t {
                                           for (std::size_t i = 0; i < count; ++i) powers[i] = gaussian_power(q[i]);
                                           return 0;
                                         }},
                                        {"precise",
                                         [](const double* q, double* powers, std::size_t count) -> std::size_t {
                                           for (std::size_t i = 0; i < count; ++i)
                                             powers[i] = precise_gaussian_power(q[i]);
                                           return 0;
                                         }},
                                        {"scalar", exact_gaussian_powers<ScalarExactPowerOps>},
                                        {"scalar near one", exact_gaussian_powers<ScalarExactPowerOps, true>},
      {"unfused scalar", exact_gaussian_powers<UnfusedScalarExactPowerOps, true>}};
  for (const PassKernel& kernel : supported_pass_kernels())
    if (kernel.gaussian_powers != nullptr) forms.push_back({kernel.name, kernel.gaussian_powers});
  return forms;
}

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The midpoint between `weight` and its neighbour above (or below) it, as
// m * 2^exponent, for the final step: lower = L * 2^e in units of its own
// last place, and the midpoint (2L + 1) * 2^(e - 1).
struct WeightMidpoint {
  std::uint64_t m;
  int exponent;
};
inline WeightMidpoint midpoint_beside(double weight, bool above) {
  double lower = weight;
  if (!above) lower = weight > 0 ? std::nextafter(weight, 0.0) : 0.0;
  std::uint64_t bits;
  std::memcpy(&bits, &lower, sizeof bits);
  const int field = static_cast<int>(bits >> 52);
  const std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t l = field != 0 ? mantissa | std::uint64_t{1} << 52 : mantissa;
  return {2 * l + 1, (field != 0 ? field : 1) - 1075 - 1};
}

}  // namespace quillfen
