// Script-function arguments written as text (the name=value of a command
// line): names compared as scripts compare them, and values read as the
// kind a parameter asks for, refused in the same words wherever they are
// read.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillfen::arguments {

// Why a text does not fit its kind, phrased to follow the argument's name,
// e.g. `must be an int, not "abc"`.
class TextArgumentError : public std::runtime_error {
 public:
  explicit TextArgumentError(const std::string& reason) : std::runtime_error(reason) {}
};

// Whether two argument names are the same, as scripts compare them: in any
// case.
bool same_name(std::string_view a, std::string_view b);

// Each reads the whole text or throws TextArgumentError; an empty text is
// refused by each. An int is decimal within int's range (int64's, as
// AviSynth+ and VapourSynth hand script integers, for int64_from_text); a
// float decimal within float's range; a bool true or false in any case.
int int_from_text(std::string_view text);
std::int64_t int64_from_text(std::string_view text);
double float_from_text(std::string_view text);
bool bool_from_text(std::string_view text);

}  // namespace quillfen::arguments
