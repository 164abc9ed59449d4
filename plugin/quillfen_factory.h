// The script function "Quillfen": its registration constants and the
// factory the host calls for every script call.
#pragma once

#include "host/avisynth_interface.h"

inline constexpr const char kQuillfenFunctionName[] = "Quillfen";
inline constexpr const char kQuillfenSignature[] = "c[sup]b[radius]i[gaussian]b[iterations]i[threshold]i";
inline constexpr const char kQuillfenVersionText[] = "Quillfen v0.7.4.1";

// Builds a Quillfen clip over the clip at position 0 of `args`. A YV12 or
// I420 source is converted to YUY2 by the host's "ConvertToYUY2" before the
// filter and back by "ConvertToYV12" after it. Failures reach the host
// through env->ThrowError; nothing is caught but a missing conversion.
// Inside AviSynth+ on a non-Windows build each clip argument keeps one more
// reference, which that host releases after the call.
AVSValue AVS_CDECL create_quillfen(AVSValue args, void* user_data, IScriptEnvironment* env);
