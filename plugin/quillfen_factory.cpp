#include "plugin/quillfen_factory.h"

#include <new>

#include "filter/avisynth_messages.h"
#include "filter/quillfen_filter.h"
#include "plugin/avisynth_module_mark.h"

namespace quillfen {

namespace {

// AviSynth+ built for anything but Windows releases every clip argument of
// an interface-2 function once more than it took, after the function
// returns: it makes up for the Windows convention, where the called
// function destroys its by-value argument array, which elsewhere the
// caller destroys. Only AviSynth+ defines "AddAutoloadDir"; asking for it
// allocates nothing on this side.
bool host_releases_clip_arguments_once_more(IScriptEnvironment* env) {
#if defined(_WIN32)
  (void)env;
  return false;
#else
  return env->FunctionExists("AddAutoloadDir");
#endif
}

// Leaves one reference on each clip argument for that extra release to take.
void hold_clip_arguments_once_more(const AVSValue& args) {
  for (int i = 0; i < args.ArraySize(); ++i) {
    if (!args[i].IsClip()) continue;
    // A counted reference that is never destroyed: its release is the host's.
    alignas(PClip) unsigned char holder[sizeof(PClip)];
    ::new (static_cast<void*>(holder)) PClip(args[i].AsClip());
  }
}

// Whether the AviSynth+ module has loaded into this environment as well
// (it sets the mark); a host without it, such as AviSynth 2.5, has no such
// variable.
bool avisynth_plus_module_loaded(IScriptEnvironment* env) {
  try {
    env->GetVar(kAvisynthPlusModuleMark);
    return true;
  } catch (const IScriptEnvironment::NotFound&) {
    return false;
  }
}

// Every reference below is held by a PClip or an AVSValue, so each one is
// released on every path out, also while an error passes through.
PClip invoke_conversion(IScriptEnvironment* env, const char* name, const AVSValue& clip,
                        const char* missing_message) {
  AVSValue converted;
  try {
    converted = env->Invoke(name, clip, nullptr);
  } catch (const IScriptEnvironment::NotFound&) {
    env->ThrowError(missing_message);
  }
  return converted.AsClip();
}

}  // namespace

AVSValue AVS_CDECL create_quillfen(AVSValue args, void* /*user_data*/, IScriptEnvironment* env) {
  // This module got the call only because a script loaded it after the
  // AviSynth+ module, which takes every clip this one takes and more.
  if (avisynth_plus_module_loaded(env)) env->ThrowError(kBothAvisynthModules);
  // Decided once on the unconverted source; it governs both conversions.
  // Any other format goes to the filter unconverted, which refuses it.
  const bool planar_source = is_exactly_yv12_or_i420(args[0].AsClip()->GetVideoInfo());

  PClip source = planar_source ? invoke_conversion(env, "ConvertToYUY2", args[0],
                                                   kConvertToYuy2NotFound)
                               : args[0].AsClip();

  const QuillfenParameters parameters = quillfen_parameters_from(args, 1);

  // The PClip takes the new filter's only reference at once, so a failure
  // after this point destroys it; a constructor that throws gives its
  // storage back by itself.
  PClip result = new QuillfenFilter(source, parameters, env);
  source = nullptr;

  if (planar_source)
    result = invoke_conversion(env, "ConvertToYV12", AVSValue(result),
                               kConvertToYv12NotFound);
  // Only a call that returns is followed by the host's extra release.
  if (host_releases_clip_arguments_once_more(env)) hold_clip_arguments_once_more(args);
  return AVSValue(result);
}

}  // namespace quillfen
