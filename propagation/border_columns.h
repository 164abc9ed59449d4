// Centres whose disc reaches over the left or right border, and every
// centre of a pass the vector kernels do not take (a radius beyond their
// window, an image too narrow for a run): the straightforward pass
// (reference_pass.h) over those columns, with the weights of the Gaussian
// form taken from the memo.
#pragma once

#include <cstdint>

#include "propagation/gaussian_weight_cache.h"
#include "propagation/propagation_pass.h"

namespace quillfen {

// Computes the centres of columns [x_begin, x_end) in every row and returns
// their largest chroma change (kNoPixelsChange when there are none).
// The Gaussian form needs the memo; the linear form may give null.
int propagate_border_columns(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                             int x_begin, int x_end, GaussianWeightCache* memo);
int propagate_border_columns(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                             int x_begin, int x_end, GaussianWeightCache* memo);
double propagate_border_columns(const PassSettings& settings, const float* current, float* next, int x_begin,
                                int x_end, GaussianWeightCache* memo);

}  // namespace quillfen
