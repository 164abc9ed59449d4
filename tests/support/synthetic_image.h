// Deterministic working images that look like video frames: smooth shaded
// background, objects with hard edges, fine texture, flat areas and sensor
// noise, with chroma that follows the objects. Shared by the tests, the
// benchmarks and the fuzzers; the plugin itself never uses it.
#pragma once

#include <cstdint>
#include <vector>

#include "host/avisynth_interface.h"

namespace quillfen {

// A PackedYuv444 image of width x height pixels (3 bytes per pixel, Y U V).
// The same arguments give the same bytes on every platform: only integer
// arithmetic is used.
std::vector<BYTE> synthetic_image(int width, int height, std::uint32_t seed);

// Bytes from a seeded generator, for images of pure noise.
class SyntheticRandom {
 public:
  explicit SyntheticRandom(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
  std::uint32_t next() {
    // xorshift32; never reaches the zero state from a non-zero start.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in [0, bound) for small bounds.
  int below(int bound) { return static_cast<int>(next() % static_cast<std::uint32_t>(bound)); }

 private:
  std::uint32_t state_;
};

}  // namespace quillfen
