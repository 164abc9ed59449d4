// The module's one export. Loading the module runs nothing; the host calls
// this once and from then on scripts can call "Quillfen".
#include "filter/quillfen_version.h"
#include "host/avisynth_interface.h"
#include "plugin/module_export.h"
#include "plugin/quillfen_factory.h"

namespace quillfen {

// The one symbol the module exports; with the 32-bit Windows stdcall
// decoration it is _AvisynthPluginInit2@4.
extern "C" QUILLFEN_EXPORT const char* AVS_STDCALL
AvisynthPluginInit2(IScriptEnvironment* env) {
  env->AddFunction(kQuillfenFunctionName, kQuillfenSignature.data(), create_quillfen, nullptr);
  return kQuillfenVersionText;
}

}  // namespace quillfen
