#include "server/variable_store.h"

namespace quillfen::server {

VariableStore::VariableStore() : locals_(1) {}

bool VariableStore::assign(Scope& scope, const std::string& name, const AVSValue& value) {
  return scope.insert_or_assign(name, value).second;
}

bool VariableStore::set(const std::string& name, const AVSValue& value) { return assign(locals_.back(), name, value); }

bool VariableStore::set_global(const std::string& name, const AVSValue& value) {
  return assign(globals_, name, value);
}

const AVSValue* VariableStore::find(const std::string& name) const {
  if (const auto local = locals_.back().find(name); local != locals_.back().end()) return &local->second;
  if (const auto global = globals_.find(name); global != globals_.end()) return &global->second;
  return nullptr;
}

void VariableStore::push_scope() { locals_.emplace_back(); }

void VariableStore::pop_scope() {
  if (locals_.size() > 1)
    locals_.pop_back();
  else
    locals_.back().clear();
}

}  // namespace quillfen::server
