#include "filter/clip_refusal.h"

#include "cpu/cpu_level.h"
#include "propagation/pass_kernels.h"

namespace quillfen {

namespace {

// Frames are unpacked in pixel pairs except in 4:4:4 (an even width), 4:2:0
// in pairs of rows too (an even height); the mirrored border reaches at
// most one image size beyond each edge, so the radius stays below both.
const char* frame_size_error(const FrameFormat& format, const ClipWords& words, int radius) {
  if (format.width <= 0 || format.height <= 0) return nullptr;
  if (format.layout != ChromaLayout::k444 && format.width % 2 != 0)
    return words.odd_width ? words.odd_width : "Quillfen: frame width must be even.";
  if (radius > format.width - 1 || radius > format.height - 1)
    return "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  if (format.layout == ChromaLayout::k420 && format.height % 2 != 0)
    return words.odd_height ? words.odd_height : "Quillfen: frame height must be even for 4:2:0.";
  return nullptr;
}

}  // namespace

const char* clip_refusal(const std::optional<FrameFormat>& format, const ClipWords& words,
                         const QuillfenParameters& parameters) {
  if (!format) return words.format;
  if (const char* error = parameter_error(parameters)) return error;
  if (const char* error = frame_size_error(*format, words, parameters.radius)) return error;
  if (!chosen_pass_kernel()) return kCpuCapError;
  return nullptr;
}

}  // namespace quillfen
