// Makes the bundled sample clip, samples/quillfen-sample.y4m: 320x180,
// 10 frames, 8-bit 4:2:2. A sky gradient over textured ground, a building
// with lit windows, striped awnings, a ball and a disc in motion, and grain.
// Its chroma is softened and delayed sideways, as in analogue tape copies,
// so colour bleeds across the luma edges: what the filter is for.
//
//   quillfen_make_sample > samples/quillfen-sample.y4m
//
// Only exactly rounded arithmetic is used, so every build makes the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace quillfen {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr int kFrames = 10;
// Chroma blur half-width and delay, in pixels.
constexpr int kChromaBlur = 4;
constexpr int kChromaDelay = 3;

struct Rgb {
  double r, g, b;
};

// A fixed pseudo-random sequence, the same on every platform.
class Grain {
 public:
  explicit Grain(std::uint32_t seed) : state_(seed) {}
  // Uniform in [-1, 1).
  double next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) / static_cast<double>(1u << 23) - 1.0;
  }

 private:
  std::uint32_t state_;
};

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

bool in_disc(double x, double y, double cx, double cy, double radius) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

Rgb scene(int frame, int x, int y, Grain& grain) {
  const double fx = x, fy = y;
  const int horizon = 112;
  Rgb colour;
  if (y < horizon) {
    colour = mix({0.20, 0.38, 0.78}, {0.85, 0.80, 0.70}, fy / horizon);  // sky towards the haze
    if (in_disc(fx, fy, 250 - 3.0 * frame, 34 + 1.5 * frame, 17)) colour = {1.0, 0.84, 0.30};  // setting sun
  } else {
    const bool furrow = ((x + 2 * y) / 6) % 2 == 0;  // ploughed field texture
    colour = furrow ? Rgb{0.28, 0.46, 0.16} : Rgb{0.40, 0.30, 0.16};
    colour = mix(colour, {0.55, 0.55, 0.45}, (180 - fy) / 200);
  }
  // A building with a grid of lit windows and a striped awning.
  if (x >= 40 && x < 130 && y >= 52 && y < horizon + 8) {
    colour = {0.62, 0.60, 0.58};
    if ((x - 46) % 14 < 7 && (y - 58) % 13 < 7 && y < horizon - 4) colour = {0.95, 0.85, 0.35};
    if (y >= 96 && y < 104) colour = ((x / 5) % 2 == 0) ? Rgb{0.80, 0.10, 0.12} : Rgb{0.96, 0.96, 0.92};
  }
  // A red ball rolling right, a teal box sliding left.
  if (in_disc(fx, fy, 150 + 9.0 * frame, 140, 14)) colour = {0.85, 0.12, 0.10};
  if (x >= 270 - 7 * frame && x < 300 - 7 * frame && y >= 124 && y < 160) colour = {0.05, 0.55, 0.55};
  const double noise = 0.025 * grain.next();
  return {colour.r + noise, colour.g + noise, colour.b + noise};
}

std::uint8_t to_byte(double value) { return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0)); }

}  // namespace

int run_program() {
  std::printf("YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C422 XYSCSS=422\n", kWidth, kHeight);
  Grain grain(20240611u);
  std::vector<double> cb(kWidth * kHeight), cr(kWidth * kHeight);
  std::vector<std::uint8_t> y_plane(kWidth * kHeight), u_plane(kWidth / 2 * kHeight), v_plane(kWidth / 2 * kHeight);
  for (int frame = 0; frame < kFrames; ++frame) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const Rgb c = scene(frame, x, y, grain);
        const int i = y * kWidth + x;
        // BT.601, limited range.
        y_plane[i] = to_byte(16 + 65.481 * c.r + 128.553 * c.g + 24.966 * c.b);
        cb[i] = 128 - 37.797 * c.r - 74.203 * c.g + 112.0 * c.b;
        cr[i] = 128 + 112.0 * c.r - 93.786 * c.g - 18.214 * c.b;
      }
    // Softened, delayed chroma, one sample per pixel pair.
    for (int y = 0; y < kHeight; ++y)
      for (int pair = 0; pair < kWidth / 2; ++pair) {
        double sum_b = 0, sum_r = 0;
        for (int d = -kChromaBlur; d <= kChromaBlur; ++d) {
          const int x = std::clamp(2 * pair + d - kChromaDelay, 0, kWidth - 1);
          sum_b += cb[y * kWidth + x];
          sum_r += cr[y * kWidth + x];
        }
        u_plane[y * kWidth / 2 + pair] = to_byte(sum_b / (2 * kChromaBlur + 1));
        v_plane[y * kWidth / 2 + pair] = to_byte(sum_r / (2 * kChromaBlur + 1));
      }
    std::fputs("FRAME\n", stdout);
    std::fwrite(y_plane.data(), 1, y_plane.size(), stdout);
    std::fwrite(u_plane.data(), 1, u_plane.size(), stdout);
    std::fwrite(v_plane.data(), 1, v_plane.size(), stdout);
  }
  return 0;
}

}  // namespace quillfen

int main() { return quillfen::run_program(); }
