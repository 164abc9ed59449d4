// Registers a function under a fuzzed signature and calls it with fuzzed
// arguments, both the way the command does (name=value texts) and the way a
// plugin does (Invoke with values by position and by name). Whatever the
// text, registration must succeed exactly when the signature parses, a
// refused call must raise one line that names the function, and a call that
// goes through must hand the function one value per signature argument of
// the kind that argument asks for.
//
// Input: the signature on the first line, then one argument per line:
// "name=value" for a named one, "<clip>" for the source clip, anything else
// as the text of a positional value. A line is cut at its first NUL, as a
// command line would carry it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/avisynth_interface.h"
#include "server/function_signature.h"
#include "server/script_environment.h"
#include "server/server_error.h"
#include "server/string_store.h"
#include "server/text_argument.h"
#include "server/y4m_source_clip.h"
#include "y4m/y4m_header.h"

namespace {

using namespace quillfen::server;
using quillfen::y4m::parse_y4m_header;

constexpr const char* kFunctionName = "Fuzzed";

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_signature_binding: %s\n", what);
  std::abort();
}

void check_refusal(std::string_view message) {
  check(message.substr(0, std::string_view(kFunctionName).size() + 2) == std::string(kFunctionName) + ": ",
        "a refused call does not name the function");
  check(message.find('\n') == std::string_view::npos, "a refused call gives more than one line");
}

struct Argument {
  std::optional<std::string> name;
  std::string text;
  bool clip = false;
};

std::vector<std::string> lines_of(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    lines.emplace_back(line.substr(0, line.find('\0')));
    if (end == std::string_view::npos) return lines;
    rest.remove_prefix(end + 1);
  }
}

Argument argument_of(const std::string& line) {
  if (line == "<clip>") return {std::nullopt, "", true};
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos || equals == 0) return {std::nullopt, line, false};
  return {line.substr(0, equals), line.substr(equals + 1), false};
}

bool fits(char kind, const AVSValue& value) {
  switch (kind) {
    case 'c': return value.IsClip() && value.AsClip();
    case 'b': return value.IsBool();
    case 'i': return value.IsInt();
    case 'f': return value.IsFloat();
    case 's': return value.IsString() && value.AsString(nullptr) != nullptr;
    default: return value.Defined() && !value.IsArray();
  }
}

// What the registered function sees of a call.
struct Calls {
  const FunctionSignature* signature;
  int applied = 0;
};

AVSValue AVS_CDECL check_bound_arguments(AVSValue args, void* user_data, IScriptEnvironment*) {
  Calls& calls = *static_cast<Calls*>(user_data);
  ++calls.applied;
  const std::vector<Parameter>& parameters = calls.signature->parameters();
  check(args.IsArray() && args.ArraySize() == static_cast<int>(parameters.size()),
        "the bound arguments are not one value per signature argument");
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const Parameter& parameter = parameters[i];
    const AVSValue& value = args[static_cast<int>(i)];
    if (parameter.repeat == Parameter::Repeat::once) {
      check(value.Defined() ? fits(parameter.kind, value) : parameter.optional(),
            "a bound argument is of the wrong kind or a required one is missing");
      continue;
    }
    check(value.IsArray(), "a repeated argument is not bound as an array");
    check(parameter.repeat != Parameter::Repeat::one_or_more || value.ArraySize() > 0,
          "a one-or-more argument is bound empty");
    for (int j = 0; j < value.ArraySize(); ++j)
      check(fits(parameter.kind, value[j]), "a repeated value is of the wrong kind");
  }
  return AVSValue();
}

// The command's way: the clip first if the arguments start with it, then
// every name=value pair as text.
void call_with_text(ScriptEnvironment& env, Calls& calls, const PClip& clip, const std::vector<Argument>& arguments) {
  std::vector<std::pair<std::string, std::string>> named;
  for (const Argument& argument : arguments)
    if (argument.name) named.emplace_back(*argument.name, argument.text);
  const bool clip_first = !arguments.empty() && arguments.front().clip;
  const int before = calls.applied;
  try {
    env.invoke_with_text(kFunctionName, clip_first ? clip : PClip(), named);
    check(calls.applied == before + 1, "a call went through without reaching the function");
  } catch (const ServerError& error) {
    check(calls.applied == before, "a refused call reached the function");
    check_refusal(error.what());
  }
}

// A plugin's way: every argument in order, its texts read as whatever
// value they look like.
void call_with_values(ScriptEnvironment& env, Calls& calls, const PClip& clip, const std::vector<Argument>& arguments) {
  StringStore strings;
  std::vector<AVSValue> values;
  std::vector<const char*> names;
  for (const Argument& argument : arguments) {
    if (argument.clip)
      values.emplace_back(clip);
    else
      values.push_back(argument.text.empty() ? AVSValue() : value_from_text('.', argument.text, strings));
    names.push_back(argument.name ? argument.name->c_str() : nullptr);
  }
  const int before = calls.applied;
  try {
    env.Invoke(kFunctionName, AVSValue(values.data(), static_cast<int>(values.size())), names.data());
    check(calls.applied == before + 1, "a call went through without reaching the function");
  } catch (const AvisynthError& error) {
    check(calls.applied == before, "a refused call reached the function");
    check_refusal(error.msg);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> lines = lines_of(data, size);
  std::vector<Argument> arguments;
  for (std::size_t i = 1; i < lines.size(); ++i) arguments.push_back(argument_of(lines[i]));
  // Beyond what the AVSValue array of a call can count.
  if (arguments.size() > static_cast<std::size_t>(std::numeric_limits<short>::max())) return -1;

  std::optional<FunctionSignature> signature;
  try {
    signature.emplace(kFunctionName, lines[0]);
  } catch (const ServerError& error) {
    check(std::string_view(error.what()).find('\n') == std::string_view::npos,
          "a refused signature gives more than one line");
  }

  ScriptEnvironment env;
  Calls calls{signature ? &*signature : nullptr};
  bool registered = true;
  try {
    env.AddFunction(kFunctionName, lines[0].c_str(), check_bound_arguments, &calls);
  } catch (const AvisynthError&) {
    registered = false;
  }
  check(registered == signature.has_value(), "registration disagrees with parsing the signature");
  if (!registered) return 0;

  const PClip clip = new Y4mSourceClip(parse_y4m_header("YUV4MPEG2 W4 H2 F25:1 C422"), 1);
  call_with_text(env, calls, clip, arguments);
  call_with_values(env, calls, clip, arguments);
  return 0;
}
