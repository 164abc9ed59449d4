// The script function "Quillfen": its signature and the factory the host
// calls for every script call.
#pragma once

#include "filter/compile_time_text.h"
#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"

// The clip, then each parameter as an optional named argument, "[name]"
// followed by its kind.
constexpr void spell_avisynth_signature(TextSpeller& text) {
  text("c");
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    text("[");
    text(parameter.name);
    text("]");
    text(parameter.flag ? "b" : "i");
  }
}
inline constexpr auto kQuillfenSignature = spelled_text<spell_avisynth_signature>();

// Builds a Quillfen clip over the clip at position 0 of `args`, the
// parameters after it in the table's order. A YV12 or I420 source is
// converted to YUY2 by the host's "ConvertToYUY2" before the filter and back
// by "ConvertToYV12" after it. Failures reach the host through
// env->ThrowError; nothing is caught but a missing conversion. Inside
// AviSynth+ on a non-Windows build each clip argument keeps one more
// reference, which that host releases after the call.
AVSValue AVS_CDECL create_quillfen(AVSValue args, void* user_data, IScriptEnvironment* env);
