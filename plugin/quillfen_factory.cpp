#include "plugin/quillfen_factory.h"

#include "filter/quillfen_filter.h"
#include "filter/quillfen_parameters.h"

namespace {

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
  // Decided once on the unconverted source; it governs both conversions.
  const bool planar_source = args[0].AsClip()->GetVideoInfo().IsYV12();

  PClip source = planar_source ? invoke_conversion(env, "ConvertToYUY2", args[0],
                                                   "Quillfen: ConvertToYUY2 function not found.")
                               : args[0].AsClip();

  const QuillfenParameters defaults;
  const bool sup = args[1].AsBool(defaults.sup);
  const int radius = args[2].AsInt(defaults.radius);
  const bool gaussian = args[3].AsBool(defaults.gaussian);
  const int iterations = args[4].AsInt(defaults.iterations);
  const int threshold = args[5].AsInt(defaults.threshold);

  // The PClip takes the new filter's only reference at once, so a failure
  // after this point destroys it; a constructor that throws gives its
  // storage back by itself.
  PClip result = new QuillfenFilter(source, sup, radius, gaussian, iterations, threshold, env);
  source = nullptr;

  if (planar_source)
    result = invoke_conversion(env, "ConvertToYV12", AVSValue(result),
                               "Quillfen: ConvertToYV12 function not found.");
  return AVSValue(result);
}
