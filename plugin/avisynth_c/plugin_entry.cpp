// The module's exports, AviSynth+'s C-interface entry points: the host calls
// one of them once per script environment on LoadPlugin or autoload, and
// from then on scripts can call "Quillfen". Loading the module runs nothing
// else.
#include "filter/quillfen_parameters.h"
#include "filter/quillfen_version.h"
#include "plugin/avisynth_c/host_api.h"
#include "plugin/avisynth_c/quillfen_function.h"
#include "plugin/avisynth_module_mark.h"
#include "plugin/avisynth_signature.h"
#include "plugin/module_export.h"

namespace quillfen {

namespace {

// The environment's table of entry points goes when the environment does.
void AVSC_CC release_at_exit(void* api, AVS_ScriptEnvironment* /*env*/) noexcept {
  release_host_api(static_cast<HostApi*>(api));
}

// `caller`: an address in the AviSynth library that called the entry point.
const char* register_quillfen(AVS_ScriptEnvironment* env, const void* caller) {
  // The caller is the AviSynth library: its entry points are the ones to use.
  HostApi* api = load_host_api(caller);
  if (!api) return "Quillfen: this AviSynth lacks a C-interface function the plugin needs.";
  api->avs_add_function(env, kQuillfenFunctionName, kQuillfenSignature.data(), create_quillfen_c, api);
  api->avs_at_exit(env, release_at_exit, api);
  // Tells the 2.5 module, should a script load it too, that this one is here.
  // The host keeps the name as given: its own copy outlives the module.
  if (const char* name = api->avs_save_string(env, kAvisynthPlusModuleMark, -1))
    api->avs_set_global_var(env, name, avs_new_value_bool(1));
  return kQuillfenVersionText;
}

}  // namespace

// AviSynth+ from interface 11 on calls this one where a module has it: it
// marks a module that reads the 64-bit integers of scripts, which the host
// otherwise cuts to 32 bits, wrapping them into other values, before the
// module sees them.
extern "C" QUILLFEN_EXPORT const char* AVSC_CC avisynth_c_plugin_init2(AVS_ScriptEnvironment* env) {
  return register_quillfen(env, __builtin_return_address(0));
}

// Every older host with a C interface calls this one.
extern "C" QUILLFEN_EXPORT const char* AVSC_CC avisynth_c_plugin_init(AVS_ScriptEnvironment* env) {
  return register_quillfen(env, __builtin_return_address(0));
}

}  // namespace quillfen
