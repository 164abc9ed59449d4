// A clip's frames as YUV4MPEG2, in every format Y4M and AviSynth+ share
// (clip_format.h); other formats are refused with the conversion that makes
// one of these.
#pragma once

#include <avisynth.h>

#include <string>
#include <vector>

#include "contrib/avs2y4m/frame_properties.h"
#include "y4m/y4m_header.h"

namespace quillfen::avs2y4m {

// The Y4M format of the clip's frames. Throws CommandError for a clip
// without video or of a format Y4M has not, naming its format and the
// conversion.
y4m::Y4mFormat y4m_format_of_clip(const PClip& clip, IScriptEnvironment* env);

// The header of a stream of frames of `vi` in `format`, with the tags
// `properties` give.
y4m::Y4mHeader y4m_stream_header(const VideoInfo& vi, const y4m::Y4mFormat& format,
                                 const PictureProperties& properties);

// Fills `record` with one frame's FRAME line and planes (Y, then U, then V).
void build_y4m_record(const VideoInfo& vi, const y4m::Y4mHeader& header, const PVideoFrame& frame,
                      std::vector<BYTE>& record);

}  // namespace quillfen::avs2y4m
