// The VapourSynth function quillfen.Quillfen: builds a node that keeps each
// frame's luma plane (shared with the source frame, not copied) and
// recomputes its chroma through FrameFilter, for YUV 4:2:0, 4:2:2 and
// 4:4:4 clips of integer samples from 8 to 16 bits. At 8 bits the bytes are
// the script function's for YUY2 and YV12: 4:2:2 planes unpack like YUY2,
// 4:2:0 goes through the same chroma rows as the frame server's conversions.
#pragma once

#include <VapourSynth4.h>

#include "filter/compile_time_text.h"
#include "filter/quillfen_parameters.h"

namespace quillfen {

// Arguments in the host's syntax: the clip, then each parameter by the same
// name as the script function's, optional, its bools as ints.
constexpr void spell_vapoursynth_arguments(TextSpeller& text) {
  text("clip:vnode;");
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    text(parameter.name);
    text(":int:opt;");
  }
}
inline constexpr auto kVapourSynthQuillfenArguments = spelled_text<spell_vapoursynth_arguments>();
inline constexpr const char kVapourSynthQuillfenReturn[] = "clip:vnode;";

// The host's callback for a call. Refusals go to `out` through mapSetError,
// with the script function's messages where it has the same checks.
void VS_CC create_vapoursynth_quillfen(const VSMap* in, VSMap* out, void* user_data, VSCore* core,
                                       const VSAPI* vsapi);

}  // namespace quillfen
