// The AviSynth bindings' own refusals: the 2.5 module's (QuillfenFilter and
// its factory); the C-interface module reports a frame it cannot write or
// read, a clip without video and an odd size in the same words.
#pragma once

namespace quillfen {

inline constexpr const char* kYuy2OrYv12Only = "Quillfen: YUY2 or YV12 data only.";
// An audio-only clip: no conversion would give it video.
inline constexpr const char* kNoVideo = "Quillfen: the clip has no video.";
inline constexpr const char* kDestinationNotWritable = "Quillfen: destination frame is not writable.";
inline constexpr const char* kSourceFrameTooSmall = "Quillfen: source frame is smaller than the clip.";
inline constexpr const char* kConvertToYuy2NotFound = "Quillfen: ConvertToYUY2 function not found.";
inline constexpr const char* kConvertToYv12NotFound = "Quillfen: ConvertToYV12 function not found.";
inline constexpr const char* kBothAvisynthModules =
    "Quillfen: both Quillfen modules are loaded, and this call went to the AviSynth 2.5 one (libquillfen), "
    "which takes YUY2 and YV12 only and drops frame properties: remove its LoadPlugin; the AviSynth+ module "
    "takes every clip.";

// The refusals of an odd width where pixels go in pairs (`pairs`: "YUY2",
// "4:2:2" or "4:2:0") and of an odd 4:2:0 height, naming the clip's format
// (`name`, as AviSynth calls it) and size and the calls that even it.
// AviSynth's own filters make no such clip (only a source filter can
// declare one), so the size is evened before the clip takes its format.
// Written into the arrays: the call allocates nothing.
void avisynth_odd_size_refusals(const char* name, const char* pairs, int width, int height,
                                char (&odd_width)[256], char (&odd_height)[256]);

}  // namespace quillfen
