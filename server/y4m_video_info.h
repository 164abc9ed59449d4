// How a Y4M stream looks to the host: its format and field order.
#pragma once

#include "host/avisynth_interface.h"
#include "y4m/y4m_header.h"

namespace quillfen::server {

// Whether host frames can carry the stream: the AviSynth 2.5 interface has
// 8-bit 4:2:2 (YUY2) and 4:2:0 (YV12), and no other YUV format.
bool y4m_fits_host_frames(const y4m::Y4mHeader& header);

// The host's description of a stream that fits host frames: YUY2 for 4:2:2,
// YV12 for 4:2:0, no audio, field order from the I tag.
VideoInfo y4m_video_info(const y4m::Y4mHeader& header, int num_frames);

// Field parity of every frame: true for a top-field-first stream.
bool y4m_parity(const y4m::Y4mHeader& header);

}  // namespace quillfen::server
