#include "server/text_argument.h"

namespace quillfen::server {

using arguments::TextArgumentError;

AVSValue value_from_text(char kind, std::string_view text, StringStore& strings) {
  switch (kind) {
    case 'c': throw TextArgumentError("is a clip and cannot be given as text");
    case 's': return AVSValue(static_cast<const char*>(strings.keep(text)));
    case 'i': return AVSValue(arguments::int_from_text(text));
    case 'f': return AVSValue(arguments::float_from_text(text));
    case 'b': return AVSValue(arguments::bool_from_text(text));
    default: break;
  }
  if (text.empty()) throw TextArgumentError("has an empty value");
  try {
    return AVSValue(arguments::int_from_text(text));
  } catch (const TextArgumentError&) {
  }
  try {
    return AVSValue(arguments::float_from_text(text));
  } catch (const TextArgumentError&) {
  }
  try {
    return AVSValue(arguments::bool_from_text(text));
  } catch (const TextArgumentError&) {
  }
  return AVSValue(static_cast<const char*>(strings.keep(text)));
}

}  // namespace quillfen::server
