#include "server/plugin_module.h"

#include <dlfcn.h>

#include <utility>

#include "server/server_error.h"

namespace quillfen::server {

PluginModule::PluginModule(const std::string& path) {
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // Bind every symbol now so that a module with unresolved references fails
  // here with a reason, not later in the middle of a frame.
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    throw ServerError("cannot load plugin \"" + path + "\": " + (reason ? reason : "unknown reason"));
  }
}

PluginModule::~PluginModule() {
  if (handle_) dlclose(handle_);
}

PluginModule::PluginModule(PluginModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

void* PluginModule::symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace quillfen::server
