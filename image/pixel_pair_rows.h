// The per-pair chroma arithmetic between one row of a 4:2:2 frame, whatever
// its layout, and one row of the working image. A 4:2:2 row holds one U and
// one V per pair of pixels; the steps say how far apart consecutive luma
// samples and consecutive chroma samples lie in memory (2 and 4 in YUY2,
// 1 and 1 in planes). Samples are bytes at 8 bits and 16-bit codes deeper;
// the means are taken in int, which holds the sum of any two 16-bit codes.
#pragma once

namespace quillfen {

// Fills `width` pixels (even, at least 2) of an image row. With `sup` each
// pair's chroma goes to both of its pixels; without, the right pixel of a
// pair takes the truncated mean of its own pair's and the next pair's
// chroma, except at the row end, where it duplicates.
template <int LumaStep, int ChromaStep, class Sample>
inline void unpack_pair_row(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    Sample* left = out + 6 * k;
    Sample* right = left + 3;
    const int pair_u = u[ChromaStep * k];
    const int pair_v = v[ChromaStep * k];
    left[0] = luma[LumaStep * 2 * k];
    left[1] = static_cast<Sample>(pair_u);
    left[2] = static_cast<Sample>(pair_v);
    right[0] = luma[LumaStep * (2 * k + 1)];
    if (sup || k == pairs - 1) {
      right[1] = static_cast<Sample>(pair_u);
      right[2] = static_cast<Sample>(pair_v);
    } else {
      right[1] = static_cast<Sample>((pair_u + u[ChromaStep * (k + 1)]) >> 1);
      right[2] = static_cast<Sample>((pair_v + v[ChromaStep * (k + 1)]) >> 1);
    }
  }
}

// Writes each pair's U and V of a row from `width` image pixels: the mean of
// the pair's two pixels, halves rounded up. Luma is not written here; it
// leaves the image as it came in.
template <int ChromaStep, class Sample>
inline void pack_pair_chroma_row(const Sample* in, int width, Sample* u, Sample* v) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    const Sample* left = in + 6 * k;
    const Sample* right = left + 3;
    u[ChromaStep * k] = static_cast<Sample>((left[1] + right[1] + 1) >> 1);
    v[ChromaStep * k] = static_cast<Sample>((left[2] + right[2] + 1) >> 1);
  }
}

}  // namespace quillfen
