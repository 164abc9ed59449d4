// The Gaussian weights of a pass's list of exponents, bit for bit what
// pow(kGaussianBase, q) returns. The exact power (exact_gaussian_power.h)
// decides nearly all of them; the few it leaves undecided are served
// through the pass's memo rather than by the library at each turn: on
// real footage three in four of the undecided exponents of a frame recur
// in it (the same luma difference under the same variance), and a memo hit
// costs a fraction of a call of pow.
//
// Forced inline, so that each kernel compiles its own copy.
#pragma once

#include <cstdint>

#include "propagation/exact_gaussian_power.h"
#include "propagation/gaussian_weight_cache.h"

// `count` exponents, a whole number of Ops registers; `undecided` holds
// room for count + Ops::kLanes indices.
template <class Ops>
[[gnu::always_inline]] inline void memo_served_powers(const double* exponents, double* powers, std::uint32_t count,
                                                      std::uint32_t* undecided, GaussianWeightCache& memo) {
  std::uint32_t listed = 0;
  for (std::uint32_t i = 0; i < count; i += Ops::kLanes) {
    typename Ops::Mask decided;
    Ops::store(powers + i, exact_gaussian_power_lanes<Ops>(Ops::load(exponents + i), decided));
    listed += static_cast<std::uint32_t>(Ops::undecided_lanes(decided, i, undecided + listed));
  }
  for (std::uint32_t n = 0; n < listed; ++n) powers[undecided[n]] = memo.weight(exponents[undecided[n]]);
}
