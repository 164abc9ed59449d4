// The formats AviSynth+ clips and Y4M streams have in common: YUY2 and
// planar YUV 4:2:0, 4:2:2 and 4:4:4 of 8, 10, 12, 14 and 16 bits, each as
// the Y4M colour format of the same layout and depth (YUY2 as C422).
// Samples of more than 8 bits are copied as they are between the two:
// AviSynth+ holds them in the machine's byte order, and Y4M's is
// little-endian, that of every machine this builds for (checked when compiled).
#pragma once

#include <avisynth.h>

#include <optional>
#include <string>

#include "y4m/y4m_header.h"

namespace quillfen::avs2y4m {

// The AviSynth+ pixel type that holds a Y4M format: 8-bit 4:2:2 as YUY2 and
// 8-bit 4:2:0 as YV12, the formats every AviSynth plugin takes; nothing for
// 9 bits, which AviSynth+ has no format of.
std::optional<int> pixel_type_of(const y4m::Y4mFormat& format);

// The Y4M format of a clip, or nothing when Y4M has none for it.
std::optional<y4m::Y4mFormat> y4m_format_of(const VideoInfo& vi);

// For a clip y4m_format_of refuses: the AviSynth+ calls that make it one it
// takes, as a script would end with them (e.g. "ConvertToYUV444()" for RGB).
std::string conversion_to_y4m(const VideoInfo& vi);

}  // namespace quillfen::avs2y4m
