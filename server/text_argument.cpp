#include "server/text_argument.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <system_error>

namespace quillfen::server {
namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Whole-text parse of a number; nullopt when the text is not one, and
// `out_of_range` set when it is one but does not fit.
template <typename Number>
std::optional<Number> parse_number(std::string_view text, bool& out_of_range) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  out_of_range = error == std::errc::result_out_of_range && end == text.data() + text.size();
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> parse_bool(std::string_view text) {
  auto equals = [&](std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
      if ((text[i] | 0x20) != word[i]) return false;
    return true;
  };
  if (equals("true")) return true;
  if (equals("false")) return false;
  return std::nullopt;
}

AVSValue int_from_text(std::string_view text) {
  bool out_of_range = false;
  if (const auto value = parse_number<int>(text, out_of_range)) return AVSValue(*value);
  if (out_of_range) throw TextArgumentError("is out of range for an int: " + quoted(text));
  throw TextArgumentError("must be an int, not " + quoted(text));
}

AVSValue float_from_text(std::string_view text) {
  bool out_of_range = false;
  const auto value = parse_number<double>(text, out_of_range);
  if (out_of_range || (value && (!std::isfinite(*value) || std::fabs(*value) > std::numeric_limits<float>::max())))
    throw TextArgumentError("is out of range for a float: " + quoted(text));
  if (!value) throw TextArgumentError("must be a float, not " + quoted(text));
  return AVSValue(*value);
}

AVSValue bool_from_text(std::string_view text) {
  if (const auto value = parse_bool(text)) return AVSValue(*value);
  throw TextArgumentError("must be true or false, not " + quoted(text));
}

}  // namespace

AVSValue value_from_text(char kind, std::string_view text, StringStore& strings) {
  if (kind == 'c') throw TextArgumentError("is a clip and cannot be given as text");
  if (kind == 's') return AVSValue(static_cast<const char*>(strings.keep(text)));
  if (text.empty()) throw TextArgumentError("has an empty value");
  switch (kind) {
    case 'i': return int_from_text(text);
    case 'f': return float_from_text(text);
    case 'b': return bool_from_text(text);
    default: break;
  }
  bool out_of_range = false;
  if (const auto value = parse_number<int>(text, out_of_range)) return AVSValue(*value);
  if (const auto value = parse_number<double>(text, out_of_range);
      value && std::fabs(*value) <= std::numeric_limits<float>::max())
    return AVSValue(*value);
  if (const auto value = parse_bool(text)) return AVSValue(*value);
  return AVSValue(static_cast<const char*>(strings.keep(text)));
}


bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace quillfen::server
