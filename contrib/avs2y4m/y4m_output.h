// A clip's frames as YUV4MPEG2: YUY2 as 4:2:2, YV12 and I420 as 4:2:0, the
// formats the quillfen command and ffmpeg read; other formats are refused
// with the conversion that makes one of these.
#pragma once

#include <avisynth.h>

#include <string>
#include <vector>

namespace quillfen::avs2y4m {

// The stream header line, newline included. Throws CommandError for a clip
// without video or of another format, naming its format and the conversion.
std::string y4m_stream_header(const PClip& clip, IScriptEnvironment* env);

// Fills `record` with one frame's FRAME line and planes (Y, then U, then V).
void build_y4m_record(const VideoInfo& vi, const PVideoFrame& frame, std::vector<BYTE>& record);

}  // namespace quillfen::avs2y4m
