// The module's one export, AviSynth+'s C-interface entry point: the host
// calls it once per script environment on LoadPlugin or autoload, and from
// then on scripts can call "Quillfen". Loading the module runs nothing else.
#include "filter/quillfen_parameters.h"
#include "filter/quillfen_version.h"
#include "plugin/avisynth_c/host_api.h"
#include "plugin/avisynth_c/quillfen_function.h"
#include "plugin/avisynth_signature.h"
#include "plugin/module_export.h"

namespace quillfen {

namespace {

// The environment's table of entry points goes when the environment does.
void AVSC_CC release_at_exit(void* api, AVS_ScriptEnvironment* /*env*/) noexcept {
  release_host_api(static_cast<HostApi*>(api));
}

}  // namespace

extern "C" QUILLFEN_EXPORT const char* AVSC_CC avisynth_c_plugin_init(AVS_ScriptEnvironment* env) {
  // The caller is the AviSynth library: its entry points are the ones to use.
  HostApi* api = load_host_api(__builtin_return_address(0));
  if (!api) return "Quillfen: this AviSynth lacks a C-interface function the plugin needs.";
  api->avs_add_function(env, kQuillfenFunctionName, kQuillfenSignature.data(), create_quillfen_c, api);
  api->avs_at_exit(env, release_at_exit, api);
  return kQuillfenVersionText;
}

}  // namespace quillfen
