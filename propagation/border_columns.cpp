#include "propagation/border_columns.h"

#include "propagation/float_reference_pass.h"
#include "propagation/reference_pass.h"

namespace quillfen {

namespace {

template <class Sample>
int propagate_with_memo(const PassSettings& settings, const Sample* current, Sample* next, int x_begin, int x_end,
                        GaussianWeightCache* memo) {
  return propagate_columns(settings, current, next, x_begin, x_end,
                           [memo](double exponent) { return memo->weight(exponent); });
}

}  // namespace

double propagate_border_columns(const PassSettings& settings, const float* current, float* next, int x_begin,
                                int x_end, GaussianWeightCache* memo) {
  return propagate_float_columns(settings, current, next, x_begin, x_end,
                                 [memo](double exponent) { return memo->weight(exponent); });
}

int propagate_border_columns(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                             int x_begin, int x_end, GaussianWeightCache* memo) {
  return propagate_with_memo(settings, current, next, x_begin, x_end, memo);
}

int propagate_border_columns(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                             int x_begin, int x_end, GaussianWeightCache* memo) {
  return propagate_with_memo(settings, current, next, x_begin, x_end, memo);
}

}  // namespace quillfen
