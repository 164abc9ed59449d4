// Frame conversions between 4:2:0 (YV12/I420) and 4:2:2 (YUY2), progressive,
// with MPEG-2 chroma siting: a chroma sample is co-sited horizontally with
// the left luma sample of its pair in both formats, and 4:2:0 chroma row j
// lies vertically halfway between luma rows 2j and 2j+1.
#pragma once

#include "host/avisynth_interface.h"

namespace quillfen::server {

// Luma is copied. Each 4:2:2 chroma row y is interpolated from the two
// nearest 4:2:0 rows: the one at j = y/2, a quarter row away, weighted 3,
// and the one on the other side of y, three quarters away, weighted 1
// (above for even y, below for odd y, the edge row repeated), rounding
// halves up. `source` is planar with `width` x `height` luma, both even.
void convert_420_to_yuy2(const VideoFrame& source, VideoFrame& destination, int width, int height);

// Luma is copied. 4:2:0 chroma row j is the mean of 4:2:2 chroma rows 2j and
// 2j+1, between which it lies, rounding halves up. `height` must be even.
void convert_yuy2_to_420(const VideoFrame& source, VideoFrame& destination, int width, int height);

}  // namespace quillfen::server
