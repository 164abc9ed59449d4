#include "server/function_signature.h"

#include <limits>

#include "server/server_error.h"
#include "arguments/argument_text.h"

namespace quillfen::server {
namespace {

bool is_kind_letter(char c) {
  return c == 'c' || c == 'b' || c == 'i' || c == 'f' || c == 's' || c == '.';
}

// A clip value without a clip counts as an omitted argument.
bool is_given(const AVSValue& value) { return value.Defined() && !(value.IsClip() && !value.AsClip()); }

bool matches(char kind, const AVSValue& value) {
  if (!is_given(value)) return false;
  switch (kind) {
    case 'c': return value.IsClip();
    case 'b': return value.IsBool();
    case 'i': return value.IsInt();
    case 'f': return value.IsFloat();
    case 's': return value.IsString();
    default: return !value.IsArray();
  }
}

// "a clip", "an int", ... for messages.
std::string kind_phrase(char kind) {
  switch (kind) {
    case 'c': return "a clip";
    case 'b': return "a bool";
    case 'i': return "an int";
    case 'f': return "a float";
    case 's': return "a string";
    default: return "a value";
  }
}

// The phrase for what a value is, for "must be an int, not a string".
std::string value_phrase(const AVSValue& value) {
  if (value.IsArray()) return "an array";
  if (!is_given(value)) return "nothing";
  return kind_phrase(value.Kind());
}

// AVSValue counts array elements in a short.
constexpr std::size_t max_array_size = std::numeric_limits<short>::max();

}  // namespace

FunctionSignature::FunctionSignature(std::string function_name, std::string_view text)
    : function_name_(std::move(function_name)) {
  auto refuse = [&](std::size_t at, const std::string& why) -> void {
    throw ServerError(function_name_ + ": cannot register signature \"" + std::string(text) + "\": " + why +
                      " at character " + std::to_string(at + 1));
  };
  std::size_t at = 0;
  while (at < text.size()) {
    Parameter parameter;
    if (text[at] == '[') {
      const std::size_t close = text.find(']', at);
      if (close == std::string_view::npos) refuse(at, "unclosed \"[\"");
      parameter.name = std::string(text.substr(at + 1, close - at - 1));
      if (parameter.name.empty()) refuse(at, "empty argument name");
      if (find(parameter.name)) refuse(at, "argument name \"" + parameter.name + "\" used twice");
      at = close + 1;
      if (at == text.size()) refuse(at, "argument name without a kind letter");
    }
    if (!is_kind_letter(text[at])) refuse(at, std::string("unknown kind letter '") + text[at] + "'");
    parameter.kind = text[at++];
    if (at < text.size() && (text[at] == '*' || text[at] == '+')) {
      if (!parameter.name.empty()) refuse(at, "a named argument cannot repeat");
      parameter.repeat = text[at] == '*' ? Parameter::Repeat::zero_or_more : Parameter::Repeat::one_or_more;
      ++at;
    }
    parameters_.push_back(std::move(parameter));
  }
  if (parameters_.size() > max_array_size) refuse(text.size() - 1, "too many arguments");
}

std::optional<std::size_t> FunctionSignature::find(std::string_view argument_name) const {
  for (std::size_t i = 0; i < parameters_.size(); ++i)
    if (!parameters_[i].name.empty() && arguments::same_name(parameters_[i].name, argument_name)) return i;
  return std::nullopt;
}

std::string FunctionSignature::error(const std::string& what) const {
  std::string names;
  for (const Parameter& parameter : parameters_) {
    if (parameter.name.empty()) continue;
    names += names.empty() ? "" : ", ";
    names += parameter.name;
  }
  return function_name_ + ": " + what + "; valid arguments: " + (names.empty() ? "none by name" : names);
}

std::string FunctionSignature::describe(std::size_t position) const {
  const Parameter& parameter = parameters_.at(position);
  if (!parameter.name.empty()) return "argument \"" + parameter.name + "\"";
  return "argument " + std::to_string(position + 1);
}

BoundArguments bind_arguments(const FunctionSignature& signature, const std::vector<GivenArgument>& arguments) {
  const std::vector<Parameter>& parameters = signature.parameters();
  BoundArguments bound;
  bound.values_.resize(parameters.size());
  std::vector<bool> given(parameters.size(), false);

  auto wrong_kind = [&](std::size_t position, const AVSValue& value) {
    return ArgumentError(signature.error(signature.describe(position) + " must be " +
                                       kind_phrase(parameters[position].kind) + ", not " + value_phrase(value)));
  };

  // Each repeated argument collects its values in storage of its own, which
  // keeps its address while the bound array is in use.
  std::vector<std::vector<AVSValue>*> repetition(parameters.size(), nullptr);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].repeat == Parameter::Repeat::once) continue;
    bound.repeated_.push_back(std::make_unique<std::vector<AVSValue>>());
    repetition[i] = bound.repeated_.back().get();
  }

  // Unnamed arguments fill the signature in order; a repeated argument takes
  // every following value of its kind.
  std::size_t position = 0;
  for (const GivenArgument& argument : arguments) {
    if (argument.name) continue;
    for (;;) {
      if (position == parameters.size())
        throw ArgumentError(signature.error("too many arguments given by position"));
      const Parameter& parameter = parameters[position];
      given[position] = true;
      if (!repetition[position]) {
        if (is_given(argument.value)) {
          if (!matches(parameter.kind, argument.value)) throw wrong_kind(position, argument.value);
          bound.values_[position] = argument.value;
        }
        ++position;
        break;
      }
      std::vector<AVSValue>& elements = *repetition[position];
      if (matches(parameter.kind, argument.value) && elements.size() < max_array_size) {
        elements.push_back(argument.value);
        break;
      }
      if (elements.empty() && parameter.repeat == Parameter::Repeat::one_or_more)
        throw wrong_kind(position, argument.value);
      // This value starts the next argument; the repetition is complete.
      ++position;
    }
  }

  for (const GivenArgument& argument : arguments) {
    if (!argument.name) continue;
    const std::optional<std::size_t> found = signature.find(argument.name);
    if (!found)
      throw ArgumentError(signature.error(std::string("no argument named \"") + argument.name + "\""));
    if (given[*found]) throw ArgumentError(signature.error(signature.describe(*found) + " is given twice"));
    if (is_given(argument.value)) {
      if (!matches(parameters[*found].kind, argument.value)) throw wrong_kind(*found, argument.value);
      bound.values_[*found] = argument.value;
    }
    given[*found] = true;
  }

  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const Parameter& parameter = parameters[i];
    const bool missing = repetition[i] ? repetition[i]->empty() && !parameter.optional()
                                       : !bound.values_[i].Defined() && !parameter.optional();
    if (missing)
      throw ArgumentError(signature.error(signature.describe(i) + " (" + kind_phrase(parameter.kind) +
                                        ") is required"));
    if (repetition[i]) bound.values_[i] = AVSValue(repetition[i]->data(), static_cast<int>(repetition[i]->size()));
  }
  return bound;
}

}  // namespace quillfen::server
