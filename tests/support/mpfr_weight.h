// The Gaussian weight by MPFR, for the tests and the one-off sweep: the
// double nearest kGaussianBase^q, and how far the exact power lies from
// the nearest midpoint between two doubles, in units of their distance.
#pragma once

#include <mpfr.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "propagation/affinity.h"

namespace quillfen {

class MpfrWeight {
 public:
  MpfrWeight() {
    mpfr_inits2(kPrecision, base_, value_, midpoint_, (mpfr_ptr) nullptr);
    mpfr_init2(q_, 53);
    mpfr_set_d(base_, kGaussianBase, MPFR_RNDN);
  }
  ~MpfrWeight() { mpfr_clears(base_, value_, midpoint_, q_, (mpfr_ptr) nullptr); }
  MpfrWeight(const MpfrWeight &) = delete;
  MpfrWeight &operator=(const MpfrWeight &) = delete;

  // The weight; `to_midpoint` receives (power - midpoint) / (upper -
  // lower) for the doubles lower and upper around the power, at most 1/2
  // in magnitude: near 0 for the hardest exponents.
  double weight(double q, double *to_midpoint = nullptr) {
    mpfr_set_d(q_, q, MPFR_RNDN);
    // 256 bits put the power within 2^-200 of its place: correctly
    // rounded from there unless it lies that close to a midpoint, which
    // the check below would report.
    mpfr_pow(value_, base_, q_, MPFR_RNDN);
    const double nearest = mpfr_get_d(value_, MPFR_RNDN);
    const double lower = mpfr_get_d(value_, MPFR_RNDD);
    const double upper = std::nextafter(lower, std::numeric_limits<double>::infinity());
    if (std::isinf(upper) || std::isinf(lower) || mpfr_nan_p(value_)) {
      if (to_midpoint) *to_midpoint = 0.5;
      return nearest;
    }
    mpfr_set_d(midpoint_, lower, MPFR_RNDN);
    mpfr_add_d(midpoint_, midpoint_, upper, MPFR_RNDN);
    mpfr_div_2ui(midpoint_, midpoint_, 1, MPFR_RNDN);
    mpfr_sub(midpoint_, value_, midpoint_, MPFR_RNDN);
    mpfr_div_d(midpoint_, midpoint_, upper - lower, MPFR_RNDN);
    const double distance = mpfr_get_d(midpoint_, MPFR_RNDN);
    if (to_midpoint) *to_midpoint = distance;
    if (std::fabs(distance) < 0x1p-150) std::abort();  // beyond this precision
    return nearest;
  }

  // The same weight, from x87's 64-bit powl where that decides the rounding
  // (its error, below 2^-62 of the power on glibc, taken as 2^-58, leaves
  // it more than 2^-5 of a place from the midpoints), from MPFR elsewhere:
  // many times faster. `to_midpoint` as above, from powl where it decided;
  // `by_mpfr` counts the exponents MPFR served.
  double weight_quickly(double q, double *to_midpoint = nullptr, long *by_mpfr = nullptr) {
#if LDBL_MANT_DIG == 64
    const long double value = powl(static_cast<long double>(kGaussianBase), q);
    const double nearest = static_cast<double>(value);
    double lower = nearest, upper = nearest;
    if (static_cast<long double>(nearest) > value)
      lower = std::nextafter(nearest, 0.0);
    else
      upper = std::nextafter(nearest, std::numeric_limits<double>::infinity());
    if (std::isfinite(upper) && upper > 0 && std::isfinite(q)) {
      const double distance =
          static_cast<double>((value - (static_cast<long double>(lower) + upper) / 2) / (upper - lower));
      if (std::fabs(distance) > 0x1p-5) {
        if (to_midpoint) *to_midpoint = distance;
        return nearest;
      }
    }
#endif
    if (by_mpfr) ++*by_mpfr;
    return weight(q, to_midpoint);
  }

 private:
  static constexpr mpfr_prec_t kPrecision = 256;
  mpfr_t base_, value_, midpoint_, q_;
};

}  // namespace quillfen
