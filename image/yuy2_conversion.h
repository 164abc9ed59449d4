// Conversion between YUY2 frames (Y0 U Y1 V per pixel pair) and the working
// image. Luma passes through unchanged; chroma is resampled horizontally.
#pragma once

#include <cstdint>

namespace quillfen {

// Fills the whole image (width x height pixels, width even and at least 2)
// from `height` rows of a YUY2 frame starting at `src`, `src_pitch` bytes
// apart. With `sup` each pair's chroma goes to both of its pixels; without,
// the right pixel of a pair takes the truncated mean of its own pair's and
// the next pair's chroma, except at the row end, where it duplicates.
void unpack_yuy2(const std::uint8_t* src, int src_pitch, bool sup, int width, int height, std::uint8_t* image);

// Writes the first 2 * width bytes of `height` rows of a YUY2 frame from the
// image; each pair's chroma is the mean of its two pixels, halves rounded up.
void pack_yuy2(const std::uint8_t* image, int width, int height, std::uint8_t* dst, int dst_pitch);

}  // namespace quillfen
