#include "contrib/avs2y4m/avisynth_library.h"

#include <dlfcn.h>
#include <link.h>

#include "cli/command_error.h"

// The header's inline wrappers reach the library's code through this table,
// which the environment hands over once it exists.
const AVS_Linkage* AVS_linkage = nullptr;

namespace quillfen::avs2y4m {
namespace {

using cli::CommandError;

using CreateEnvironment = IScriptEnvironment* (*)(int version);

std::string loaded_path(void* handle, const std::string& fallback) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) return map->l_name;
  return fallback;
}

}  // namespace

ScriptEnvironment::ScriptEnvironment(const std::string& library) {
  // The library stays loaded until the process ends: AviSynth+ keeps threads
  // and plugins of its own that must not lose their code under them.
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    throw CommandError("avs2y4m: cannot load AviSynth+ (" + std::string(reason ? reason : library) +
                       "); name its libavisynth.so with --library PATH or AVS2Y4M_LIBRARY=PATH, or add its "
                       "folder to LD_LIBRARY_PATH");
  }
  library_path_ = loaded_path(handle, library);
  const auto create = reinterpret_cast<CreateEnvironment>(dlsym(handle, "CreateScriptEnvironment"));
  if (!create)
    throw CommandError("avs2y4m: " + library_path_ + " is not AviSynth+: it has no CreateScriptEnvironment");
  // The 2.6 interface is all the command uses, and every AviSynth+ gives it.
  env_ = create(AVISYNTH_CLASSIC_INTERFACE_VERSION);
  if (!env_) throw CommandError("avs2y4m: " + library_path_ + " made no script environment");
  AVS_linkage = env_->GetAVSLinkage();
}

ScriptEnvironment::~ScriptEnvironment() { env_->DeleteScriptEnvironment(); }

}  // namespace quillfen::avs2y4m
