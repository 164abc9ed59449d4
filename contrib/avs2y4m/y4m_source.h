// Y4MSource("file.y4m"): the script function through which a script reads
// video in AviSynth+ on Linux, where the core has no source filter for video
// files. It reads 8-bit 4:2:2 as YUY2 and 4:2:0 as YV12, the formats that
// ffmpeg writes with -pix_fmt yuv422p or yuv420p and -f yuv4mpegpipe.
#pragma once

#include <avisynth.h>

namespace quillfen::avs2y4m {

inline constexpr const char* kY4mSourceName = "Y4MSource";

// Registers the function in `env`.
void add_y4m_source(IScriptEnvironment* env);

}  // namespace quillfen::avs2y4m
