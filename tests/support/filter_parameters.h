// The script arguments of a Quillfen call, at their defaults.
#pragma once

#include "filter/quillfen_parameters.h"

using Parameters = QuillfenParameters;
