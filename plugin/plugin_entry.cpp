// The module's one export. Loading the module runs nothing; the host calls
// this once and from then on scripts can call "Quillfen".
#include "host/avisynth_interface.h"
#include "plugin/quillfen_factory.h"

extern "C" __attribute__((visibility("default"))) const char* AVS_STDCALL
AvisynthPluginInit2(IScriptEnvironment* env) {
  env->AddFunction(kQuillfenFunctionName, kQuillfenSignature, create_quillfen, nullptr);
  return kQuillfenVersionText;
}
