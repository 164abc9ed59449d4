#include "tests/support/synthetic_image.h"

#include <cstddef>

namespace quillfen {

namespace {

int clamp_byte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// A triangle wave of the given period and amplitude, an integer stand-in for
// a sinusoid.
int triangle(int t, int period, int amplitude) {
  const int phase = ((t % period) + period) % period;
  const int half = period / 2 > 0 ? period / 2 : 1;
  const int up = phase < half ? phase : period - phase;
  return (2 * up - half) * amplitude / half;
}

struct Region {
  int kind;  // 0 flat disc, 1 striped rectangle, 2 checkered disc, 3 shaded rectangle
  int cx, cy, rx, ry;
  int luma, u, v;
  int period, amplitude;
};

// Smooth random relief: a lattice of random heights every `cell` pixels,
// bilinearly interpolated; in [-amplitude, amplitude].
int value_noise(int x, int y, int cell, int amplitude, std::uint32_t seed) {
  auto lattice = [seed](int ix, int iy) {
    std::uint32_t k = static_cast<std::uint32_t>(ix) * 73856093u ^ static_cast<std::uint32_t>(iy) * 19349663u ^ seed;
    k ^= k >> 15;
    k *= 2246822519u;
    k ^= k >> 13;
    return static_cast<int>(k & 255u) - 128;
  };
  const int ix = x / cell, iy = y / cell, fx = x % cell, fy = y % cell;
  const int top = lattice(ix, iy) * (cell - fx) + lattice(ix + 1, iy) * fx;
  const int bottom = lattice(ix, iy + 1) * (cell - fx) + lattice(ix + 1, iy + 1) * fx;
  return (top * (cell - fy) + bottom * fy) * amplitude / (128 * cell * cell);
}

bool inside(const Region& r, int x, int y) {
  const long dx = x - r.cx, dy = y - r.cy;
  if (r.kind == 1 || r.kind == 3) return (dx < 0 ? -dx : dx) <= r.rx && (dy < 0 ? -dy : dy) <= r.ry;
  // Ellipse test in integers.
  const long rx = r.rx > 0 ? r.rx : 1, ry = r.ry > 0 ? r.ry : 1;
  return dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
}

}  // namespace

std::vector<BYTE> synthetic_image(int width, int height, std::uint32_t seed) {
  SyntheticRandom random(seed);
  const int w = width > 0 ? width : 1;
  const int h = height > 0 ? height : 1;

  Region regions[12];
  int kind = 0;
  for (Region& r : regions) {
    r.kind = kind++ % 4;
    r.cx = random.below(w);
    r.cy = random.below(h);
    r.rx = 1 + random.below(w / 3 + 1);
    r.ry = 1 + random.below(h / 3 + 1);
    r.luma = 20 + random.below(216);
    r.u = 64 + random.below(128);
    r.v = 64 + random.below(128);
    r.period = 3 + random.below(8);
    r.amplitude = 4 + random.below(28);
  }
  const int sky_top = 30 + random.below(60);
  const int sky_span = 60 + random.below(120);
  const int sky_u = 100 + random.below(56);
  const int sky_v = 100 + random.below(56);

  std::vector<BYTE> image(static_cast<std::size_t>(3) * static_cast<std::size_t>(width > 0 ? width : 0) *
                          static_cast<std::size_t>(height > 0 ? height : 0));
  std::size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Smooth shaded background with gently drifting chroma.
      int luma = sky_top + sky_span * y / h + 20 * x / w + value_noise(x, y, 32, 14, seed) +
                 value_noise(x, y, 7, 6, seed + 1);
      int u = sky_u + 16 * x / w;
      int v = sky_v - 16 * y / h;
      for (const Region& r : regions) {
        if (!inside(r, x, y)) continue;
        luma = r.luma;
        u = r.u;
        v = r.v;
        switch (r.kind) {
          case 1:  // stripes, like fabric or a fence
            luma += triangle(x + y / 2, r.period, r.amplitude);
            break;
          case 2:  // fine checker, like foliage or print
            luma += ((x / r.period + y / r.period) % 2 ? r.amplitude : -r.amplitude) / 2;
            u += triangle(y, r.period * 3, 6);
            break;
          case 3:  // lit surface: a soft ramp across the object
            luma += (x - r.cx) * r.amplitude / (r.rx + 1);
            v += (y - r.cy) * 8 / (r.ry + 1);
            break;
          default:  // flat area with a little relief, like skin or a wall
            luma += value_noise(x, y, 5, 8, seed + 2);
            break;
        }
      }
      // Sensor noise, roughly bell-shaped, stronger in luma than in chroma.
      luma += random.below(5) + random.below(5) - 4;
      u += random.below(3) - 1;
      v += random.below(3) - 1;
      image[at++] = static_cast<BYTE>(clamp_byte(luma));
      image[at++] = static_cast<BYTE>(clamp_byte(u));
      image[at++] = static_cast<BYTE>(clamp_byte(v));
    }
  }
  return image;
}

}  // namespace quillfen
