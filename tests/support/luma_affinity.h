// The two affinity forms for one centre and one sample, from the formula in
// propagation/affinity.h, for the tests that check weights or pick lumas by
// their weight.
#pragma once

#include "propagation/affinity.h"
#include "propagation/scalar_lanes.h"

namespace quillfen {

inline double linear_affinity(int centre_luma, int sample_luma, double mean, double variance) {
  return linear_weight<ScalarLanes>(sample_luma, mean, ScalarLanes::divisor(variance), centre_luma - mean);
}

inline double gaussian_affinity(int centre_luma, int sample_luma, double variance) {
  return gaussian_power(gaussian_exponent<ScalarLanes>(centre_luma - sample_luma,
                                                       gaussian_exponent_divisor<ScalarLanes>(variance)));
}

}  // namespace quillfen
