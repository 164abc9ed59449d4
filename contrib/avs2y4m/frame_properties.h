// What a Y4M header says about its pictures beyond their format, carried
// through a script as AviSynth+'s standard frame properties: the pixel
// aspect (A) as _SARNum and _SARDen, the chroma siting of 8-bit 4:2:0
// (C420jpeg, C420mpeg2, C420paldv) as _ChromaLocation, and XCOLORRANGE as
// _ColorRange. Y4MSource puts them on its frames and avs2y4m writes them from
// the first frame of the script's clip, whichever filter set them. Frame
// properties came with AviSynth+'s interface 8 (3.6): an older AviSynth+
// has none, and there the header is written without them.
#pragma once

#include <avisynth.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "y4m/y4m_header.h"

namespace quillfen::avs2y4m {

struct PictureProperties {
  // Pixel aspect numerator and denominator, both positive; nothing when
  // unknown (A0:0, or no A tag).
  std::optional<std::pair<std::uint32_t, std::uint32_t>> aspect;
  // AviSynth+'s codes: 0 left (MPEG-2), 1 centre (JPEG, and a plain C420),
  // 2 top left (PAL DV).
  std::optional<std::int64_t> chroma_location;
  // AviSynth+'s codes: 0 full range, 1 limited.
  std::optional<std::int64_t> colour_range;
};

PictureProperties properties_of_header(const y4m::Y4mHeader& header);

// The A, C and X tags of a header of `format` with `properties`, in the
// order ffmpeg writes them (with its XYSCSS tag, which restates the C tag),
// so that a stream ffmpeg made comes back with the header it had. A 4:2:0
// siting Y4M has no tag for, or none given, is written as AviSynth+'s own,
// MPEG-2's.
std::vector<std::string> picture_tags(const y4m::Y4mFormat& format, const PictureProperties& properties);

// True when `env` has frame properties.
bool has_frame_properties(IScriptEnvironment* env);

// Only where has_frame_properties: sets the properties on a new frame, and
// reads them (those of unexpected type or range left out).
void set_frame_properties(IScriptEnvironment* env, PVideoFrame& frame, const PictureProperties& properties);
PictureProperties frame_properties_of(IScriptEnvironment* env, const PVideoFrame& frame);

}  // namespace quillfen::avs2y4m
