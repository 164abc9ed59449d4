#include "server/plugin_module.h"

#include <utility>

#include "server/server_error.h"
#include "system/shared_library.h"

namespace quillfen::server {

PluginModule::PluginModule(const std::string& path) {
  std::string reason;
  handle_ = system::load_library(path, reason);
  if (!handle_) throw ServerError("cannot load plugin \"" + path + "\": " + reason);
}

PluginModule::~PluginModule() {
  if (handle_) system::free_library(handle_);
}

PluginModule::PluginModule(PluginModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

void* PluginModule::symbol(const char* name) const { return system::library_symbol(handle_, name); }

}  // namespace quillfen::server
