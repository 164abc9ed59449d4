// Float frames through the frame filter: a picture made float from 8-bit
// codes filters to the 8-bit bytes within the roundings the integer path
// makes; flat luma has no variance; non-finite samples stay where they are
// and leave their neighbours alone; the threshold counts 8-bit levels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "filter/frame_filter.h"
#include "propagation/pass_kernels.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

namespace {

// A frame's three planes, rows back to back.
template <class Sample>
struct Planes {
  int width, height, chroma_width, chroma_height;
  std::vector<Sample> y, u, v;

  Planes(ChromaLayout layout, int w, int h)
      : width(w), height(h), chroma_width(layout == ChromaLayout::k444 ? w : w / 2),
        chroma_height(layout == ChromaLayout::k420 ? h / 2 : h), y(std::size_t(w) * h),
        u(std::size_t(chroma_width) * chroma_height), v(u.size()) {}
};

// The frame through FrameFilter (the chosen kernel); returns the passes.
template <class Sample>
int filter_planes(ChromaLayout layout, int bits, const QuillfenParameters& p, const Planes<Sample>& in,
                  Planes<Sample>& out) {
  FrameFilter filter({in.width, in.height, layout, bits}, p, *chosen_pass_kernel());
  const auto bytes = [](const std::vector<Sample>& plane) { return reinterpret_cast<const std::uint8_t*>(plane.data()); };
  const auto out_bytes = [](std::vector<Sample>& plane) { return reinterpret_cast<std::uint8_t*>(plane.data()); };
  const std::ptrdiff_t pitch = in.width * std::ptrdiff_t(sizeof(Sample));
  const std::ptrdiff_t chroma_pitch = in.chroma_width * std::ptrdiff_t(sizeof(Sample));
  return filter.filter({{bytes(in.y), bytes(in.u), bytes(in.v)}, {pitch, chroma_pitch, chroma_pitch}},
                       {{out_bytes(out.y), out_bytes(out.u), out_bytes(out.v)}, {pitch, chroma_pitch, chroma_pitch}});
}

// An 8-bit picture with real-looking luma and chroma (synthetic_image's
// pixels, chroma taken at the chroma grid's sites).
Planes<std::uint8_t> byte_picture(ChromaLayout layout, int width, int height, std::uint32_t seed) {
  const std::vector<std::uint8_t> image = synthetic_image(width, height, seed);
  Planes<std::uint8_t> planes(layout, width, height);
  for (int i = 0; i < width * height; ++i) planes.y[i] = image[3 * i];
  const int step_x = width / planes.chroma_width, step_y = height / planes.chroma_height;
  for (int j = 0; j < planes.chroma_height; ++j)
    for (int i = 0; i < planes.chroma_width; ++i) {
      const std::size_t pixel = 3 * (std::size_t(j * step_y) * width + i * step_x);
      planes.u[j * planes.chroma_width + i] = image[pixel + 1];
      planes.v[j * planes.chroma_width + i] = image[pixel + 2];
    }
  return planes;
}

// The float picture of 8-bit codes, full range: Y = y / 255, chroma
// (c - 128) / 255, each the float nearest.
Planes<float> float_picture(ChromaLayout layout, const Planes<std::uint8_t>& bytes) {
  Planes<float> planes(layout, bytes.width, bytes.height);
  for (std::size_t i = 0; i < planes.y.size(); ++i) planes.y[i] = static_cast<float>(bytes.y[i] / 255.0);
  for (std::size_t i = 0; i < planes.u.size(); ++i) {
    planes.u[i] = static_cast<float>((bytes.u[i] - 128) / 255.0);
    planes.v[i] = static_cast<float>((bytes.v[i] - 128) / 255.0);
  }
  return planes;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// One pass on the float picture of 8-bit codes, in 8-bit levels (F x 255 +
// 128), lies within `slack` of the byte one pass stores on the codes, F
// stored to within half a float's last place. The byte is the bounded
// average rounded, halves up, so at 4:4:4 a slack of one half says that
// the float rounds to the byte but for ties: averages within rounding of
// x.5, which the two paths may round either way. 4:2:2 adds the integer
// conversions' roundings (the interpolated pixel's mean truncated, the
// packed mean rounded up), up to 1 level; 4:2:0 the vertical ones too, up
// to 2 (docs/behaviour.md works both out).
TEST(FloatFrames, OnePassRoundsToTheEightBitBytes) {
  const double kEpsilon = 1e-4;  // float storage and double rounding, in levels
  const struct {
    ChromaLayout layout;
    double slack;
    const char* name;
  } layouts[] = {{ChromaLayout::k444, 0.5, "4:4:4"}, {ChromaLayout::k422, 1.0, "4:2:2"}, {ChromaLayout::k420, 2.0, "4:2:0"}};
  for (const auto& layout : layouts) {
    const int width = 86, height = 34;
    const Planes<std::uint8_t> bytes = byte_picture(layout.layout, width, height, 7);
    const Planes<float> floats = float_picture(layout.layout, bytes);
    for (const bool gaussian : {false, true})
      for (const bool sup : {false, true})
        for (const int radius : {1, 2, 3}) {
          const QuillfenParameters p{sup, radius, gaussian, 1, 0};
          Planes<std::uint8_t> byte_out(layout.layout, width, height);
          Planes<float> float_out(layout.layout, width, height);
          filter_planes(layout.layout, 8, p, bytes, byte_out);
          filter_planes(layout.layout, kFloatBits, p, floats, float_out);
          const std::string what = std::string(layout.name) + (gaussian ? " gaussian" : " linear") +
                                   (sup ? " sup" : "") + " radius " + std::to_string(radius);
          double largest = 0.0;
          for (const auto& [byte_plane, float_plane] :
               {std::pair{&byte_out.u, &float_out.u}, std::pair{&byte_out.v, &float_out.v}})
            for (std::size_t i = 0; i < byte_plane->size(); ++i)
              largest = std::max(largest, std::fabs((*float_plane)[i] * 255.0 + 128.0 - (*byte_plane)[i]));
          EXPECT_LE(largest, layout.slack + kEpsilon) << what;
          for (std::size_t i = 0; i < floats.y.size(); ++i)
            ASSERT_TRUE(same_bits(float_out.y[i], floats.y[i])) << what << " luma " << i;
        }
  }
}

// Samples of one float luma, which the mean and the variance must meet
// exactly: every weight is then 1 in both forms, also at a centre of
// another luma (a dot), whose Gaussian weights a variance of a rounding's
// size would make 0 or infinite. So at the dots both forms give the same
// floats, and flat chroma comes back bit for bit everywhere.
TEST(FloatFrames, FlatLumaHasNoVariance) {
  const int width = 90, height = 40, dot_row = 20;
  SyntheticRandom random(3);
  for (const float luma : {0.1f, 0.7f, 1e-30f, 3e-39f}) {
    Planes<float> noisy(ChromaLayout::k444, width, height), flat(noisy);
    for (std::size_t i = 0; i < noisy.y.size(); ++i) {
      const bool dot = int(i) / width == dot_row && int(i) % width % 18 == 9;
      noisy.y[i] = flat.y[i] = dot ? 0.9f : luma;
      noisy.u[i] = static_cast<float>(random.below(1 << 20)) / (1 << 20) - 0.5f;
      noisy.v[i] = static_cast<float>(random.below(1 << 20)) / (1 << 20) - 0.5f;
      flat.u[i] = 0.3f;
      flat.v[i] = -0.1f;
    }
    for (const int radius : {1, 3, 8}) {
      Planes<float> linear(noisy), gaussian(noisy), flat_out(flat);
      filter_planes(ChromaLayout::k444, kFloatBits, {false, radius, false, 1, 0}, noisy, linear);
      filter_planes(ChromaLayout::k444, kFloatBits, {false, radius, true, 1, 0}, noisy, gaussian);
      filter_planes(ChromaLayout::k444, kFloatBits, {false, radius, false, 2, 0}, flat, flat_out);
      for (int x = 9; x < width; x += 18) {
        const int i = dot_row * width + x;
        EXPECT_TRUE(same_bits(linear.u[i], gaussian.u[i]) && same_bits(linear.v[i], gaussian.v[i]))
            << "luma " << luma << " radius " << radius << " dot " << x;
      }
      for (std::size_t i = 0; i < flat.u.size(); ++i)
        ASSERT_TRUE(same_bits(flat_out.u[i], 0.3f) && same_bits(flat_out.v[i], -0.1f))
            << "luma " << luma << " radius " << radius << " pixel " << i;
    }
  }
}

// NaN and infinities in luma and chroma: after several passes and the
// conversions each is where it was, bit for bit, every other sample is
// finite, and at 4:4:4 each pixel within the radius of a non-finite luma
// keeps its chroma, and of a non-finite U its U.
TEST(FloatFrames, NonFiniteSamplesStayPut) {
  const int width = 40, height = 16, radius = 2;
  const float specials[] = {std::nanf(""), INFINITY, -INFINITY};
  for (const ChromaLayout layout : {ChromaLayout::k444, ChromaLayout::k422, ChromaLayout::k420})
    for (const bool gaussian : {false, true}) {
      const Planes<float> in = [&] {
        Planes<float> planes = float_picture(layout, byte_picture(layout, width, height, 11));
        SyntheticRandom random(12);
        for (int k = 0; k < 6; ++k) {
          planes.y[random.below(int(planes.y.size()))] = specials[k % 3];
          planes.u[random.below(int(planes.u.size()))] = specials[(k + 1) % 3];
          planes.v[random.below(int(planes.v.size()))] = specials[(k + 2) % 3];
        }
        return planes;
      }();
      Planes<float> out(layout, width, height);
      filter_planes(layout, kFloatBits, {false, radius, gaussian, 3, 0}, in, out);
      for (const auto& [before, after] : {std::pair{&in.y, &out.y}, std::pair{&in.u, &out.u}, std::pair{&in.v, &out.v}})
        for (std::size_t i = 0; i < before->size(); ++i)
          ASSERT_TRUE(std::isfinite((*before)[i]) ? std::isfinite((*after)[i]) : same_bits((*before)[i], (*after)[i]))
              << int(layout) << " gaussian " << gaussian << " sample " << i;
      if (layout != ChromaLayout::k444) continue;
      // One pass, so the samples a pixel reads are the input's.
      Planes<float> once(layout, width, height);
      filter_planes(layout, kFloatBits, {false, radius, gaussian, 1, 0}, in, once);
      const auto near = [&](const std::vector<float>& plane, int x, int y) {
        for (int dy = -radius; dy <= radius; ++dy)
          for (int dx = -radius; dx <= radius; ++dx) {
            const int nx = std::abs(x + dx), ny = std::abs(y + dy);
            if (nx < width && ny < height && dx * dx + dy * dy <= radius * radius && !std::isfinite(plane[ny * width + nx]))
              return true;
          }
        return false;
      };
      for (int y = radius; y < height - radius; ++y)
        for (int x = radius; x < width - radius; ++x) {
          const int i = y * width + x;
          if (near(in.y, x, y) || near(in.u, x, y)) {
            EXPECT_TRUE(same_bits(once.u[i], in.u[i])) << x << "," << y;
          }
          if (near(in.y, x, y) || near(in.v, x, y)) {
            EXPECT_TRUE(same_bits(once.v[i], in.v[i])) << x << "," << y;
          }
        }
    }
}

// With iterations 0 the passes stop at the first whose largest change, times
// 255, is within the threshold.
TEST(FloatFrames, ThresholdCountsEightBitLevels) {
  const int width = 30, height = 12;
  const Planes<float> in = float_picture(ChromaLayout::k444, byte_picture(ChromaLayout::k444, width, height, 5));
  std::vector<float> image(3 * std::size_t(width) * height), next(image.size());
  for (std::size_t i = 0; i < in.y.size(); ++i) {
    image[3 * i] = in.y[i];
    image[3 * i + 1] = in.u[i];
    image[3 * i + 2] = in.v[i];
  }
  const double levels = propagation_pass_reference({width, height, 1, true, kFloatBits}, image.data(), next.data()) * 255;
  ASSERT_GT(levels, 2.0);
  Planes<float> out(ChromaLayout::k444, width, height);
  EXPECT_EQ(filter_planes(ChromaLayout::k444, kFloatBits, {false, 1, true, 0, int(std::ceil(levels))}, in, out), 1);
  EXPECT_GT(filter_planes(ChromaLayout::k444, kFloatBits, {false, 1, true, 0, int(std::floor(levels))}, in, out), 1);
}

}  // namespace

}  // namespace quillfen
