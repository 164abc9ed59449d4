// Mirroring of a coordinate at the image border, as the sample walk uses it.
#pragma once

namespace quillfen {

// Maps a coordinate into [0, n - 1] without repeating the edge pixel:
// -k maps to k, n - 1 + k to n - 1 - k. Stays inside the image for every
// coordinate from -(n - 1) to 2 * (n - 1).
[[gnu::always_inline]] inline int reflect(int coordinate, int n) {
  return __builtin_abs((n - 1) - __builtin_abs((n - 1) - coordinate));
}

}  // namespace quillfen
