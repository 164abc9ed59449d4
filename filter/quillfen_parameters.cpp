#include "filter/quillfen_parameters.h"

namespace quillfen {

const char* parameter_error(const QuillfenParameters& parameters) {
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    if (parameter.flag) continue;
    const int value = value_of(parameters, parameter);
    if (value < parameter.minimum || value > parameter.maximum) return parameter.refusal;
  }
  return nullptr;
}

}  // namespace quillfen
