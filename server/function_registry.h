// The script functions an environment knows: built-ins and those plugins
// register. Names are matched ignoring case; registering a name again
// replaces the earlier function.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "host/avisynth_interface.h"
#include "server/function_signature.h"

namespace quillfen::server {

struct RegisteredFunction {
  FunctionSignature signature;
  IScriptEnvironment::ApplyFunc apply;
  void* user_data;
};

class FunctionRegistry {
 public:
  // Throws ServerError for a malformed signature; nothing is registered then.
  void add(std::string_view name, std::string_view signature, IScriptEnvironment::ApplyFunc apply,
           void* user_data);
  // Null when no function has this name.
  const RegisteredFunction* find(std::string_view name) const;

 private:
  std::map<std::string, RegisteredFunction> functions_;  // by lower-case name
};

}  // namespace quillfen::server
