// What AviSynth+'s pixel types mean to the filter: the frame format of a
// clip it takes, or the refusal that names the clip's format and the
// AviSynth+ call that converts it to one it takes.
#pragma once

#include <optional>

#include "filter/frame_filter.h"
#include "plugin/avisynth_c/avisynth_c.h"

namespace quillfen {

// YUY2, and planar YUV 4:2:0 (YV12, I420), 4:2:2 and 4:4:4 of 8, 10, 12, 14
// or 16 bits or of 32-bit float; nothing for any other pixel type.
std::optional<FrameFormat> frame_format_of(const AVS_VideoInfo& vi);

// The message for a clip frame_format_of refuses, such as "Quillfen: the
// clip is RGB32; ...: add ConvertToYUV444() before Quillfen.", written
// into `message` (the call allocates nothing).
void format_refusal(const AVS_VideoInfo& vi, char (&message)[256]);

// The messages for a clip of a format frame_format_of takes but of an odd
// width (YUY2, 4:2:2, 4:2:0) or an odd 4:2:0 height
// (avisynth_odd_size_refusals).
void odd_size_refusals(const AVS_VideoInfo& vi, char (&odd_width)[256], char (&odd_height)[256]);

}  // namespace quillfen
