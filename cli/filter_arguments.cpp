#include "cli/filter_arguments.h"

#include "arguments/argument_text.h"
#include "cli/command_error.h"

namespace quillfen::cli {
namespace {

[[noreturn]] void refuse(const std::string& what) {
  std::string names;
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    names += (names.empty() ? "" : ", ") + std::string(parameter.name);
  throw CommandError(std::string(kQuillfenFunctionName) + ": " + what + "; valid arguments: " + names, kExitUsage);
}

}  // namespace

QuillfenParameters parameters_from_text(const std::vector<std::pair<std::string, std::string>>& texts) {
  QuillfenParameters parameters;
  bool given[std::size(kQuillfenParameters)] = {};
  for (const auto& [name, text] : texts) {
    std::size_t row = 0;
    while (row < std::size(kQuillfenParameters) && !arguments::same_name(kQuillfenParameters[row].name, name)) ++row;
    if (row == std::size(kQuillfenParameters)) refuse("no argument named \"" + name + "\"");
    const QuillfenParameter& parameter = kQuillfenParameters[row];
    const std::string described = "argument \"" + std::string(parameter.name) + "\"";
    if (given[row]) refuse(described + " is given twice");
    given[row] = true;
    try {
      // An int is read as the 64-bit one AviSynth+ and VapourSynth hand the
      // modules, and held as they hold it, so that the range check refuses
      // it in the same words.
      set_value(parameters, parameter,
                parameter.flag ? arguments::bool_from_text(text) : int_argument(arguments::int64_from_text(text)));
    } catch (const arguments::TextArgumentError& error) {
      refuse(described + " " + error.what());
    }
  }
  return parameters;
}

}  // namespace quillfen::cli
