#include "plugin/avisynth_c/host_api.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quillfen {

namespace {

#if defined(_WIN32)
// The DLL that holds the caller's code, with one more reference on it.
void* open_library(const void* code_in_host) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCSTR>(code_in_host), &module))
    return nullptr;
  return module;
}
void* symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void close_library(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
// The library, already loaded, that holds the caller's code; a host that
// links AviSynth+ into its own program gets the program's global scope.
void* open_library(const void* code_in_host) {
  Dl_info info;
  if (dladdr(code_in_host, &info) && info.dli_fname)
    if (void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) return library;
  return dlopen(nullptr, RTLD_LAZY);
}
void* symbol(void* library, const char* name) { return dlsym(library, name); }
void close_library(void* library) { dlclose(library); }
#endif

template <class Function>
bool take(void* library, Function& entry, const char* name) {
  entry = reinterpret_cast<Function>(symbol(library, name));
  return entry != nullptr;
}

}  // namespace

HostApi* load_host_api(const void* code_in_host) noexcept {
  HostApi* api = new (std::nothrow) HostApi{};
  if (!api) return nullptr;
  api->library = open_library(code_in_host);
  if (!api->library) {
    delete api;
    return nullptr;
  }
#define QUILLFEN_TAKE(name) take(api->library, api->name, #name)
  const bool complete =
      QUILLFEN_TAKE(avs_add_function) && QUILLFEN_TAKE(avs_at_exit) && QUILLFEN_TAKE(avs_check_version) &&
      QUILLFEN_TAKE(avs_save_string) && QUILLFEN_TAKE(avs_take_clip) && QUILLFEN_TAKE(avs_release_clip) &&
      QUILLFEN_TAKE(avs_release_value) && QUILLFEN_TAKE(avs_set_to_clip) && QUILLFEN_TAKE(avs_get_video_info) &&
      QUILLFEN_TAKE(avs_clip_get_error) && QUILLFEN_TAKE(avs_new_c_filter) && QUILLFEN_TAKE(avs_get_frame) &&
      QUILLFEN_TAKE(avs_release_video_frame) && QUILLFEN_TAKE(avs_new_video_frame_a) &&
      QUILLFEN_TAKE(avs_get_pitch_p) && QUILLFEN_TAKE(avs_get_row_size_p) && QUILLFEN_TAKE(avs_get_height_p) &&
      QUILLFEN_TAKE(avs_get_read_ptr_p) && QUILLFEN_TAKE(avs_get_write_ptr_p) && QUILLFEN_TAKE(avs_get_error) &&
      QUILLFEN_TAKE(avs_set_global_var);
  QUILLFEN_TAKE(avs_new_video_frame_p_a);
#undef QUILLFEN_TAKE
  if (!complete) {
    release_host_api(api);
    return nullptr;
  }
  return api;
}

void release_host_api(HostApi* api) noexcept {
  if (!api) return;
  close_library(api->library);
  delete api;
}

}  // namespace quillfen
