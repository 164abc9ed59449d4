#include "system/shared_library.h"

#include <windows.h>

#include <string_view>

namespace quillfen::system {
namespace {

// A name with neither a directory nor a drive would send LoadLibrary down
// the system's search path; one with either is taken as it is: "C:\...",
// "Z:/...", "\\server\share\..." and "dir\module.dll" alike.
std::string loadable_path(const std::string& path) {
  const bool has_directory = path.find_first_of("/\\") != std::string::npos;
  const bool has_drive = path.size() >= 2 && path[1] == ':';
  return has_directory || has_drive ? path : ".\\" + path;
}

std::string last_error_text() {
  const DWORD error = ::GetLastError();
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length ? std::string(text, length) : "Windows error " + std::to_string(error);
  ::LocalFree(text);
  // The command's line goes on after the reason: no line end, no full stop.
  while (!reason.empty() && std::string_view("\r\n .").find(reason.back()) != std::string_view::npos)
    reason.pop_back();
  return reason;
}

}  // namespace

void* load_library(const std::string& path, std::string& reason) {
  // No message box for a missing drive or file: the reason goes into the
  // command's error line.
  DWORD previous_mode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
  const HMODULE library = ::LoadLibraryA(loadable_path(path).c_str());
  if (!library) reason = last_error_text();
  ::SetThreadErrorMode(previous_mode, nullptr);
  return library;
}

void* library_symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void free_library(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace quillfen::system
