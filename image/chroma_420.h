// Chroma rows between 4:2:0 and 4:2:2, progressive, with MPEG-2 siting: a
// chroma sample is co-sited horizontally with the left luma sample of its
// pair in both, and 4:2:0 chroma row j lies vertically halfway between luma
// rows 2j and 2j+1. Only rows are resampled; a row's samples stay as they
// are horizontally. The step says how far apart consecutive samples of the
// 4:2:2 side lie in memory (4 in YUY2, 1 in a plane); 4:2:0 rows are planes.
// Samples are bytes at 8 bits and 16-bit codes deeper, the sums taken in int.
#pragma once

#include <algorithm>

namespace quillfen {

// The two 4:2:0 chroma rows nearest to 4:2:2 row y of a frame of `height`
// (even) luma rows: the one at y/2, a quarter row away, and the one on the
// other side of y, three quarters away (above for even y, below for odd y,
// the edge row repeated).
struct Chroma420Rows {
  int nearer;
  int farther;
};

inline Chroma420Rows chroma_420_rows_for(int y, int height) {
  const int nearer = y / 2;
  const int farther = std::clamp(y % 2 == 0 ? nearer - 1 : nearer + 1, 0, height / 2 - 1);
  return {nearer, farther};
}

// One 4:2:2 chroma row of `count` samples from its two 4:2:0 rows, weighted
// 3 and 1, halves rounded up.
template <int Step, class Sample>
inline void interpolate_422_chroma_row(const Sample* nearer, const Sample* farther, int count, Sample* out) {
  for (int x = 0; x < count; ++x) out[Step * x] = static_cast<Sample>((3 * nearer[x] + farther[x] + 2) >> 2);
}

// 4:2:0 chroma row j of `count` samples: the mean of 4:2:2 rows 2j and
// 2j+1, between which it lies, halves rounded up.
template <int Step, class Sample>
inline void average_420_chroma_row(const Sample* upper, const Sample* lower, int count, Sample* out) {
  for (int x = 0; x < count; ++x) out[x] = static_cast<Sample>((upper[Step * x] + lower[Step * x] + 1) >> 1);
}

}  // namespace quillfen
