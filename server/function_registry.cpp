#include "server/function_registry.h"

#include <cctype>

namespace quillfen::server {
namespace {

std::string lower_case(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

}  // namespace

void FunctionRegistry::add(std::string_view name, std::string_view signature, IScriptEnvironment::ApplyFunc apply,
                           void* user_data) {
  RegisteredFunction function{FunctionSignature(std::string(name), signature), apply, user_data};
  functions_.insert_or_assign(lower_case(name), std::move(function));
}

const RegisteredFunction* FunctionRegistry::find(std::string_view name) const {
  const auto found = functions_.find(lower_case(name));
  return found == functions_.end() ? nullptr : &found->second;
}

}  // namespace quillfen::server
