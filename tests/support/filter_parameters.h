// The script arguments of a Quillfen call, at their defaults.
#pragma once

#include "filter/quillfen_parameters.h"

namespace quillfen {

using Parameters = QuillfenParameters;

}  // namespace quillfen
