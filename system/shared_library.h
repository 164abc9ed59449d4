// Loading a plugin module (a shared object or a DLL) and finding its
// exports.
#pragma once

#include <string>

namespace quillfen::system {

// A path with no directory names a file in the working directory, never a
// library on the system's search path; an absolute path is taken as it is.
// Every symbol is bound at once, so that a module with unresolved references
// fails here. Null, with the loader's reason in `reason`, when it fails.
void* load_library(const std::string& path, std::string& reason);
void* library_symbol(void* library, const char* name);
void free_library(void* library);

}  // namespace quillfen::system
