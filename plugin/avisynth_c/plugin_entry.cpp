// The Windows DLL's one export, AviSynth's C-interface entry point: the host
// calls it once on LoadPlugin, and from then on scripts can call "Quillfen".
// Loading the DLL runs nothing else.
#include <avisynth_c.h>

#include "filter/quillfen_parameters.h"
#include "filter/quillfen_version.h"
#include "plugin/avisynth_c/quillfen_c_function.h"
#include "plugin/avisynth_signature.h"

const char* AVSC_CC avisynth_c_plugin_init(AVS_ScriptEnvironment* env) {
  avs_add_function(env, kQuillfenFunctionName, kQuillfenSignature.data(), create_quillfen_c, nullptr);
  return kQuillfenVersionText;
}
