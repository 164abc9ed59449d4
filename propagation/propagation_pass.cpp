#include "propagation/propagation_pass.h"

#include "propagation/affinity.h"
#include "propagation/float_reference_pass.h"
#include "propagation/reference_pass.h"

namespace quillfen {

int propagation_pass_reference(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next) {
  return propagate_columns(settings, current, next, 0, settings.width, gaussian_power);
}

int propagation_pass_reference(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next) {
  return propagate_columns(settings, current, next, 0, settings.width, gaussian_power);
}

double propagation_pass_reference(const PassSettings& settings, const float* current, float* next) {
  return propagate_float_columns(settings, current, next, 0, settings.width, gaussian_power);
}

}  // namespace quillfen
