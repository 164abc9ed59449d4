// Y4MSource("file.y4m"): the script function through which a script reads
// video in AviSynth+ on Linux, where the core has no source filter for video
// files. It reads the Y4M formats AviSynth+ has (clip_format.h: 8-bit 4:2:2
// as YUY2, which every AviSynth plugin takes), as ffmpeg writes them with
// -f yuv4mpegpipe, and gives its frames the header's aspect, siting and range
// as frame properties (frame_properties.h).
#pragma once

#include <avisynth.h>

namespace quillfen::avs2y4m {

inline constexpr const char* kY4mSourceName = "Y4MSource";

// Registers the function in `env`.
void add_y4m_source(IScriptEnvironment* env);

}  // namespace quillfen::avs2y4m
