// Turns the text of a command-line argument (the value of name=value) into a
// script value of the kind a function's signature asks for.
#pragma once

#include <string_view>

#include "arguments/argument_text.h"
#include "host/avisynth_interface.h"
#include "server/string_store.h"

namespace quillfen::server {

// Kinds: i (int), f (float), b (bool), as arguments/argument_text.h reads
// them; s (the text itself, kept in `strings`); '.' (the first of int,
// float, bool that fits, else string). A clip cannot be written as text.
// Empty texts are refused for every kind but string. Throws
// arguments::TextArgumentError.
AVSValue value_from_text(char kind, std::string_view text, StringStore& strings);

}  // namespace quillfen::server
