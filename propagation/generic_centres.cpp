#include "propagation/generic_centres.h"

#include "propagation/sample_walk.h"

int propagate_generic_columns(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                              int x_begin, int x_end, GaussianWeightCache* memo) {
  return propagate_columns(settings, current, next, x_begin, x_end,
                           [memo](double exponent) { return memo->weight(exponent); });
}
