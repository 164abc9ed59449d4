// The refusals the two AviSynth bindings share word for word: the 2.5
// module (QuillfenFilter and its factory) and the C-interface plugin for
// Windows report the same failures in the same words.
#pragma once

inline constexpr const char* kYuy2OrYv12Only = "Quillfen: YUY2 or YV12 data only.";
inline constexpr const char* kDestinationNotWritable = "Quillfen: destination frame is not writable.";
inline constexpr const char* kSourceFrameTooSmall = "Quillfen: source frame is smaller than the clip.";
inline constexpr const char* kConvertToYuy2NotFound = "Quillfen: ConvertToYUY2 function not found.";
inline constexpr const char* kConvertToYv12NotFound = "Quillfen: ConvertToYV12 function not found.";
