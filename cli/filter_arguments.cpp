#include "cli/filter_arguments.h"

#include <string_view>

#include "cli/command_error.h"
#include "server/string_store.h"
#include "server/text_argument.h"

namespace quillfen::cli {
namespace {

[[noreturn]] void refuse(const std::string& what) {
  std::string names;
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    names += (names.empty() ? "" : ", ") + std::string(parameter.name);
  throw CommandError(std::string(kQuillfenFunctionName) + ": " + what + "; valid arguments: " + names, kExitUsage);
}

}  // namespace

QuillfenParameters parameters_from_text(const std::vector<std::pair<std::string, std::string>>& arguments) {
  QuillfenParameters parameters;
  bool given[std::size(kQuillfenParameters)] = {};
  // Only ints and bools are read, so nothing is ever kept here.
  server::StringStore unused_strings;
  for (const auto& [name, text] : arguments) {
    std::size_t row = 0;
    while (row < std::size(kQuillfenParameters) && !server::same_name(kQuillfenParameters[row].name, name)) ++row;
    if (row == std::size(kQuillfenParameters)) refuse("no argument named \"" + name + "\"");
    const QuillfenParameter& parameter = kQuillfenParameters[row];
    const std::string described = "argument \"" + std::string(parameter.name) + "\"";
    if (given[row]) refuse(described + " is given twice");
    given[row] = true;
    try {
      const AVSValue value = server::value_from_text(parameter.flag ? 'b' : 'i', text, unused_strings);
      set_value(parameters, parameter, parameter.flag ? value.AsBool(false) : value.AsInt(0));
    } catch (const server::TextArgumentError& error) {
      refuse(described + " " + error.what());
    }
  }
  return parameters;
}

}  // namespace quillfen::cli
