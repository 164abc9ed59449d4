// The command's name=value filter arguments read into the filter's settings,
// straight from the parameter table: names in any case, each at most once,
// values as the script function takes them (an int in decimal, a bool as
// true or false), refused in the script function's own words; an int
// beyond an int's range is refused by its range, as in the modules.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "filter/quillfen_parameters.h"

namespace quillfen::cli {

// Throws CommandError (exit status kExitUsage) with the refusal's line for
// a name the function does not take, one given twice, or a value that is
// not of its kind. Ranges are left to the filter's own check.
QuillfenParameters parameters_from_text(const std::vector<std::pair<std::string, std::string>>& arguments);

}  // namespace quillfen::cli
