// The script function "Quillfen" on AviSynth's C interface: what the DLL for
// Windows registers, since a C++ 2.5 plugin works only in a host built by
// the same compiler, and Windows hosts are built by another one. Same
// arguments, defaults, checks and messages as the 2.5 module; the frames
// are filtered by Yuy2FrameFilter. Nothing the host calls lets an
// exception out: every failure is returned as the interface's error value
// or set as the filter's error.
#pragma once

#include <avisynth_c.h>

// Builds a Quillfen clip over args[0] as the 2.5 factory does: YUY2 as it
// is, YV12 and I420 between the host's "ConvertToYUY2" and "ConvertToYV12".
AVS_Value AVSC_CC create_quillfen_c(AVS_ScriptEnvironment* env, AVS_Value args, void* user_data) noexcept;
