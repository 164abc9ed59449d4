// The argument signature a function is registered with, and the binding of a
// call's arguments to it.
//
// Signature text: one letter per argument giving its kind (c clip, b bool,
// i int, f float, s string, . any value), optionally followed by * (zero or
// more) or + (one or more) for a repeated positional argument. A name in
// brackets before the letter makes the argument named and optional, e.g.
// "c[radius]i[strength]f".
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/avisynth_interface.h"

namespace quillfen::server {

struct Parameter {
  enum class Repeat { once, zero_or_more, one_or_more };

  std::string name;  // empty for an argument given only by position
  char kind;         // c, b, i, f, s or '.'
  Repeat repeat = Repeat::once;

  bool optional() const { return !name.empty() || repeat == Repeat::zero_or_more; }
};

class FunctionSignature {
 public:
  // Throws ServerError naming the function when the text is malformed.
  FunctionSignature(std::string function_name, std::string_view text);

  const std::string& function_name() const { return function_name_; }
  const std::vector<Parameter>& parameters() const { return parameters_; }

  // The position of the argument with this name, ignoring case.
  std::optional<std::size_t> find(std::string_view argument_name) const;

  // A one-line message about a call of this function, ending with the names
  // the caller could have used, so that a typo is easy to correct.
  std::string error(const std::string& what) const;
  // How messages refer to the argument at this position: its name, quoted,
  // or its number counted from 1.
  std::string describe(std::size_t position) const;

 private:
  std::string function_name_;
  std::vector<Parameter> parameters_;
};

// One argument of a call: unnamed ones fill the signature's arguments in
// order, named ones the argument of that name.
struct GivenArgument {
  const char* name;  // null when given by position
  AVSValue value;
};

// The argument array a function receives: one value per signature argument,
// in signature order, a void value for each omitted optional argument and a
// nested array for each repeated one. AVSValue arrays borrow their elements,
// so this object owns them and must outlive the call it is passed to.
class BoundArguments {
 public:
  BoundArguments() = default;
  BoundArguments(BoundArguments&&) = default;
  BoundArguments& operator=(BoundArguments&&) = default;

  AVSValue array() const& { return AVSValue(values_.data(), static_cast<int>(values_.size())); }
  // The array would point into a temporary about to go.
  AVSValue array() const&& = delete;

 private:
  friend BoundArguments bind_arguments(const FunctionSignature&, const std::vector<GivenArgument>&);

  std::vector<AVSValue> values_;
  // Element storage of the nested arrays; each vector keeps its address.
  std::vector<std::unique_ptr<std::vector<AVSValue>>> repeated_;
};

// Throws ServerError (with FunctionSignature::error's wording) for an unknown
// name, a value of the wrong kind, an argument given twice, too many
// arguments or a missing required one. An int is accepted for a float.
BoundArguments bind_arguments(const FunctionSignature& signature,
                              const std::vector<GivenArgument>& arguments);

}  // namespace quillfen::server
