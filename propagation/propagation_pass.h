// One pass of luma-guided chroma propagation over a working image: every
// pixel's U and V become the affinity-weighted average of the chroma of the
// pixels within `radius` of it, the border mirrored; luma is copied.
#pragma once

#include <climits>
#include <cstdint>

namespace quillfen {

struct PassSettings {
  int width;
  int height;
  int radius;  // at least 1, at most width - 1 and height - 1
  bool gaussian;
  // The clip's depth: 8 for byte images, 9 to 16 for images of
  // std::uint16_t samples, 32 for float images. The pass itself computes
  // the same at every integer depth; the depth tells its callers what a
  // change of one code means.
  int bits = 8;
};

// What a pass returns for an image without pixels: below every threshold.
inline constexpr int kNoPixelsChange = INT_MIN;
inline constexpr double kNoPixelsFloatChange = -1.0;

// Depth of float images (PassSettings::bits).
inline constexpr int kFloatBits = 32;

// The definition of the pass, written for clarity: every sample visited
// through the mirrored coordinates, in row-major order of the square around
// the centre. Reads `current` only and writes every sample of `next`.
// Returns the largest change of a U or V sample in codes of the image (0 to
// 255 for bytes, 0 to 65535 for wide samples), or kNoPixelsChange when the
// image has no pixels. Wide samples may take any value of their type, also
// one above the clip's depth.
int propagation_pass_reference(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next);
int propagation_pass_reference(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next);
// Float images (float_reference_pass.h): returns the largest change of a U
// or V value, in the clip's own units, or kNoPixelsFloatChange.
double propagation_pass_reference(const PassSettings& settings, const float* current, float* next);

}  // namespace quillfen
