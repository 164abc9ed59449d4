// The float picture of 8-bit codes, full range, as both host programs make
// it, so that they hand the module the same floats: Y = y / 255 and
// chroma (c - 128) / 255, each the float nearest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillfen {

inline float float_of_luma(std::uint8_t code) { return static_cast<float>(code / 255.0); }
inline float float_of_chroma(std::uint8_t code) { return static_cast<float>((code - 128) / 255.0); }

// Converts a plane of `width` x `height` codes; pitches in bytes.
inline void float_plane_from_bytes(const std::uint8_t* in, int in_pitch, std::uint8_t* out, int out_pitch, int width,
                                   int height, bool luma) {
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<float*>(out + static_cast<std::ptrdiff_t>(y) * out_pitch);
    const std::uint8_t* codes = in + static_cast<std::ptrdiff_t>(y) * in_pitch;
    for (int x = 0; x < width; ++x) row[x] = luma ? float_of_luma(codes[x]) : float_of_chroma(codes[x]);
  }
}

}  // namespace quillfen
