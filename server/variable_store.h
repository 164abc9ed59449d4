// Script variables set by plugins: a global scope and a stack of local
// scopes (PushContext/PopContext). Lookups search the innermost local scope,
// then the globals.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/avisynth_interface.h"

namespace quillfen::server {

class VariableStore {
 public:
  VariableStore();

  // Set in the innermost scope; true when the variable is new there.
  bool set(const std::string& name, const AVSValue& value);
  bool set_global(const std::string& name, const AVSValue& value);
  // Null when no scope has the variable.
  const AVSValue* find(const std::string& name) const;

  void push_scope();
  // The outermost local scope stays; popping it only empties it.
  void pop_scope();

 private:
  using Scope = std::map<std::string, AVSValue>;
  static bool assign(Scope& scope, const std::string& name, const AVSValue& value);

  Scope globals_;
  std::vector<Scope> locals_;
};

}  // namespace quillfen::server
