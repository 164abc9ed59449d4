// The VapourSynth function quillfen.Quillfen: builds a node that keeps each
// frame's luma plane (shared with the source frame, not copied) and
// recomputes its chroma as the script function does for YUY2 and YV12:
// YUV422P8 planes unpack like YUY2, YUV420P8 goes through the same 4:2:0
// chroma rows as the frame server's conversions, so the bytes are the same.
#pragma once

#include <VapourSynth4.h>

// Arguments in the host's syntax: the same names as the script function,
// its bools as ints.
inline constexpr const char kVapourSynthQuillfenArguments[] =
    "clip:vnode;sup:int:opt;radius:int:opt;gaussian:int:opt;iterations:int:opt;threshold:int:opt;";
inline constexpr const char kVapourSynthQuillfenReturn[] = "clip:vnode;";

// The host's callback for a call. Refusals go to `out` through mapSetError,
// with the script function's messages where it has the same checks.
void VS_CC create_vapoursynth_quillfen(const VSMap* in, VSMap* out, void* user_data, VSCore* core,
                                       const VSAPI* vsapi);
