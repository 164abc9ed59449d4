// A loaded plugin module (shared object). Unloaded when the object goes.
#pragma once

#include <string>

namespace quillfen::server {

class PluginModule {
 public:
  // Throws ServerError with the loader's reason when the module cannot be
  // loaded. A path without a directory names a file in the working directory,
  // not a library on the system's search path.
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(PluginModule&& other) noexcept;
  PluginModule& operator=(PluginModule&&) = delete;
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // The address of an exported symbol, or null when the module has none.
  void* symbol(const char* name) const;

 private:
  void* handle_;
};

}  // namespace quillfen::server
