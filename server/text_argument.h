// Turns the text of a command-line argument (the value of name=value) into a
// script value of the kind a function's signature asks for.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "host/avisynth_interface.h"
#include "server/string_store.h"

namespace quillfen::server {

// Why a text does not fit its kind, phrased to follow the argument's name,
// e.g. `must be an int, not "abc"`.
class TextArgumentError : public std::runtime_error {
 public:
  explicit TextArgumentError(const std::string& reason) : std::runtime_error(reason) {}
};

// Kinds: i (decimal int within int's range), f (decimal number within
// float's range), b (true or false, any case), s (the text itself, kept in
// `strings`), '.' (the first of int, float, bool that fits, else string).
// A clip cannot be written as text. Empty texts are refused for every kind
// but string.
AVSValue value_from_text(char kind, std::string_view text, StringStore& strings);

// Whether two argument names are the same, as scripts compare them: in any
// case.
bool same_name(std::string_view a, std::string_view b);

}  // namespace quillfen::server
