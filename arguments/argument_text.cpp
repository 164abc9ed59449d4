#include "arguments/argument_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>

namespace quillfen::arguments {
namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

void refuse_empty(std::string_view text) {
  if (text.empty()) throw TextArgumentError("has an empty value");
}

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

// A decimal integer held as `Integer`, refused as out of the range of
// `kind` when it is one but does not fit.
template <typename Integer>
Integer integer_from_text(std::string_view text, std::string_view kind) {
  refuse_empty(text);
  bool out_of_range = false;
  if (const auto value = parse_number<Integer>(text, out_of_range)) return *value;
  if (out_of_range) throw TextArgumentError("is out of range for " + std::string(kind) + ": " + quoted(text));
  throw TextArgumentError("must be an int, not " + quoted(text));
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int int_from_text(std::string_view text) { return integer_from_text<int>(text, "an int"); }

std::int64_t int64_from_text(std::string_view text) {
  return integer_from_text<std::int64_t>(text, "a 64-bit int");
}

double float_from_text(std::string_view text) {
  refuse_empty(text);
  bool out_of_range = false;
  const auto value = parse_number<double>(text, out_of_range);
  if (out_of_range || (value && (!std::isfinite(*value) || std::fabs(*value) > std::numeric_limits<float>::max())))
    throw TextArgumentError("is out of range for a float: " + quoted(text));
  if (!value) throw TextArgumentError("must be a float, not " + quoted(text));
  return *value;
}

bool bool_from_text(std::string_view text) {
  refuse_empty(text);
  const auto is = [&](std::string_view word) { return same_name(text, word); };
  if (is("true")) return true;
  if (is("false")) return false;
  throw TextArgumentError("must be true or false, not " + quoted(text));
}

}  // namespace quillfen::arguments
