// The script function "Quillfen" of the 2.5 module: the factory the host
// calls for every script call, and the signature it is registered with.
#pragma once

#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"
#include "plugin/avisynth_signature.h"

namespace quillfen {

// Builds a Quillfen clip over the clip at position 0 of `args`, the
// parameters after it in the table's order. A YV12 or I420 source is
// converted to YUY2 by the host's "ConvertToYUY2" before the filter and back
// by "ConvertToYV12" after it. Failures reach the host through
// env->ThrowError; nothing is caught but a missing conversion. Inside
// AviSynth+ on a non-Windows build each clip argument keeps one more
// reference, which that host releases after the call.
AVSValue AVS_CDECL create_quillfen(AVSValue args, void* user_data, IScriptEnvironment* env);

// The parameters given from position `first` of `args` on, in the table's
// order: an argument left out, or of another kind, keeps its default.
inline QuillfenParameters quillfen_parameters_from(const AVSValue& args, int first) {
  QuillfenParameters parameters;
  int position = first;
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    const AVSValue& given = args[position++];
    const int fallback = value_of(parameters, parameter);
    set_value(parameters, parameter, parameter.flag ? given.AsBool(fallback != 0) : given.AsInt(fallback));
  }
  return parameters;
}

}  // namespace quillfen
