// Frame conversions between 4:2:0 (YV12/I420) and 4:2:2 (YUY2), progressive,
// with the chroma rows resampled as image/chroma_420.h does it for every
// module that meets 4:2:0.
#pragma once

#include "host/avisynth_interface.h"

namespace quillfen::server {

// Luma is copied; each 4:2:2 chroma row is interpolated from its two nearest
// 4:2:0 rows. `source` is planar with `width` x `height` luma, both even.
void convert_420_to_yuy2(const VideoFrame& source, VideoFrame& destination, int width, int height);

// Luma is copied; 4:2:0 chroma row j is the mean of 4:2:2 chroma rows 2j and
// 2j+1. `height` must be even.
void convert_yuy2_to_420(const VideoFrame& source, VideoFrame& destination, int width, int height);

}  // namespace quillfen::server
