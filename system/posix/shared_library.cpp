#include "system/shared_library.h"

#include <dlfcn.h>

namespace quillfen::system {

void* load_library(const std::string& path, std::string& reason) {
  // Without a slash dlopen would search the system's library path.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* text = ::dlerror();
    reason = text ? text : "unknown reason";
  }
  return library;
}

void* library_symbol(void* library, const char* name) { return ::dlsym(library, name); }

void free_library(void* library) { ::dlclose(library); }

}  // namespace quillfen::system
