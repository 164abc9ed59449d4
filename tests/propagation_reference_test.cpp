// The propagation pass as it is defined: sample sets at the border, the
// affinity forms, the weighted average and its conversion to bytes or to
// wide samples.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "propagation/propagation_pass.h"
#include "tests/support/luma_affinity.h"

namespace quillfen {

namespace {

template <class Sample>
struct ImageOf {
  int width, height;
  std::vector<Sample> bytes;
  ImageOf(int w, int h, int y = 0, int u = 0, int v = 0) : width(w), height(h), bytes(3 * w * h) {
    for (int i = 0; i < w * h; ++i) set(i % w, i / w, y, u, v);
  }
  Sample* at(int x, int y) { return &bytes[3 * (y * width + x)]; }
  void set(int x, int y, int luma, int u, int v) {
    at(x, y)[0] = static_cast<Sample>(luma);
    at(x, y)[1] = static_cast<Sample>(u);
    at(x, y)[2] = static_cast<Sample>(v);
  }
};
using Image = ImageOf<std::uint8_t>;
using WideImage = ImageOf<std::uint16_t>;

template <class Sample>
struct PassResult {
  ImageOf<Sample> next;
  int change;
};

template <class Sample>
PassResult<Sample> run_pass(const ImageOf<Sample>& current, int radius, bool gaussian) {
  PassResult<Sample> result{ImageOf<Sample>(current.width, current.height), 0};
  result.change = propagation_pass_reference({current.width, current.height, radius, gaussian},
                                             current.bytes.data(), result.next.bytes.data());
  return result;
}

// The centre (1, 1) of a 3 x 3 image with its four radius-1 samples in
// visiting order: above, left, right, below.
template <class Sample = std::uint8_t>
ImageOf<Sample> cross(const int centre[3], const int above[3], const int left[3], const int right[3],
                      const int below[3]) {
  ImageOf<Sample> image(3, 3);
  image.set(1, 1, centre[0], centre[1], centre[2]);
  image.set(1, 0, above[0], above[1], above[2]);
  image.set(0, 1, left[0], left[1], left[2]);
  image.set(2, 1, right[0], right[1], right[2]);
  image.set(1, 2, below[0], below[1], below[2]);
  return image;
}

TEST(Affinity, ListedValues) {
  EXPECT_EQ(linear_affinity(17, 230, 80.0, 0.0), 1.0);
  EXPECT_EQ(gaussian_affinity(17, 230, 0.0), 1.0);
  // The kernels store this weight at difference 0 without a power.
  for (const double variance : {0.0, 0.75, 12.5, 16256.25})
    EXPECT_EQ(gaussian_affinity(50, 50, variance), kGaussianWeightOfEqualLumas) << variance;
  EXPECT_EQ(gaussian_affinity(100, 110, 25.0), std::pow(2.718281828459045, -2.0));
  EXPECT_NEAR(gaussian_affinity(100, 110, 25.0), 0.1353352832366127, 1e-16);
  EXPECT_EQ(gaussian_affinity(110, 100, 25.0), gaussian_affinity(100, 110, 25.0));
  EXPECT_EQ(gaussian_affinity(10, 229, 0.25), 0.0);
  EXPECT_EQ(linear_affinity(100, 110, 105.0, 25.0), 0.0);
  EXPECT_EQ(linear_affinity(100, 100, 105.0, 25.0), 2.0);
  EXPECT_EQ(linear_affinity(100, 105, 105.0, 25.0), 1.0);
  for (int sample : {0, 77, 105, 255}) EXPECT_EQ(linear_affinity(105, sample, 105.0, 25.0), 1.0);
}

TEST(PropagationPass, WorkedExampleInBothForms) {
  const int centre[] = {35, 128, 128};
  const int above[] = {10, 100, 50}, left[] = {20, 110, 60}, right[] = {30, 120, 70},
            below[] = {40, 130, 80};
  const Image image = cross(centre, above, left, right, below);
  for (auto [gaussian, u, v] : {std::tuple{false, 125, 75}, std::tuple{true, 121, 71}}) {
    PassResult result = run_pass(image, 1, gaussian);
    EXPECT_EQ(result.next.at(1, 1)[1], u) << "gaussian " << gaussian;
    EXPECT_EQ(result.next.at(1, 1)[2], v) << "gaussian " << gaussian;
    // The returned change is the largest change of any chroma byte.
    Image current = image;
    int largest = 0;
    for (int i = 0; i < 9; ++i)
      for (int c = 1; c < 3; ++c)
        largest = std::max(largest, std::abs(current.bytes[3 * i + c] - result.next.bytes[3 * i + c]));
    EXPECT_EQ(result.change, largest);
    EXPECT_GE(result.change, gaussian ? 57 : 53);
  }
}

// With uniform luma every weight is 1, so the new U of a centre is the mean
// of its samples' U, each sample counted as often as it is reached.
int mean_of_probe(int width, int height, int cx, int cy, int radius, int px, int py) {
  Image image(width, height, 90, 0, 0);
  image.at(px, py)[1] = 240;
  return run_pass(image, radius, false).next.at(cx, cy)[1];
}

int expected_mean(int multiplicity, int count) {
  return static_cast<int>(std::floor((1.0 / count) * (multiplicity * 240.0) + 0.5));
}

TEST(PropagationPass, SampleMultiplicityAtTheBorder) {
  struct Probe {
    int cx, cy, radius, px, py, multiplicity, count;
  };
  const Probe probes[] = {
      // Top row, radius 1: the pixel below twice, left and right once.
      {3, 0, 1, 3, 1, 2, 4}, {3, 0, 1, 2, 0, 1, 4}, {3, 0, 1, 4, 0, 1, 4}, {3, 0, 1, 3, 0, 0, 4},
      // Top-left corner, radius 1: (1, 0) and (0, 1) twice each.
      {0, 0, 1, 1, 0, 2, 4}, {0, 0, 1, 0, 1, 2, 4}, {0, 0, 1, 1, 1, 0, 4},
      // Second row, radius 2: 15 samples; the centre's own row twice.
      {4, 1, 2, 2, 1, 2, 15}, {4, 1, 2, 3, 1, 2, 15}, {4, 1, 2, 6, 1, 2, 15},
      {4, 1, 2, 4, 0, 1, 15}, {4, 1, 2, 4, 3, 1, 15}, {4, 1, 2, 5, 2, 1, 15}, {4, 1, 2, 6, 0, 0, 15},
      // Top-left corner, radius 2: 12 samples, (1, 1) four times.
      {0, 0, 2, 1, 1, 4, 12}, {0, 0, 2, 0, 2, 2, 12}, {0, 0, 2, 2, 0, 2, 12}, {0, 0, 2, 2, 1, 0, 12},
      // Interior, radius 2: 12 samples once each.
      {4, 4, 2, 4, 2, 1, 12}, {4, 4, 2, 3, 3, 1, 12}, {4, 4, 2, 2, 2, 0, 12},
  };
  for (const Probe& p : probes)
    EXPECT_EQ(mean_of_probe(9, 9, p.cx, p.cy, p.radius, p.px, p.py), expected_mean(p.multiplicity, p.count))
        << "centre (" << p.cx << ", " << p.cy << ") radius " << p.radius << " probe (" << p.px << ", "
        << p.py << ")";
}

// Rounding to the nearest sample keeps an average of equal values at that
// value, also where the reciprocal of a large sample count makes the
// product fall a hair short (radius 8: 1/196 x (196 x 1) < 1), in bytes and
// in wide samples up to the largest.
TEST(PropagationPass, UniformImagesStayUnchanged) {
  const auto expect_unchanged = [](const auto& image, int radius, int value) {
    PassResult result = run_pass(image, radius, radius % 2 == 0);
    EXPECT_EQ(result.next.bytes, image.bytes) << "radius " << radius << " value " << value;
    EXPECT_EQ(result.change, 0);
  };
  for (int radius : {1, 2, 3, 4, 8}) {
    for (int value : {0, 1, 2, 3, 7, 12, 128, 200, 254, 255})
      expect_unchanged(Image(17, 17, value, value, 255 - value), radius, value);
    for (int value : {256, 1023, 40001, 65534, 65535})
      expect_unchanged(WideImage(17, 17, value, value, 65535 - value), radius, value);
  }
}

TEST(PropagationPass, LumaIsCopiedAndOnlyChromaChanges) {
  std::mt19937 random(3);
  Image image(13, 11);
  for (std::uint8_t& b : image.bytes) b = static_cast<std::uint8_t>(random());
  for (bool gaussian : {false, true}) {
    PassResult result = run_pass(image, 3, gaussian);
    for (int i = 0; i < 13 * 11; ++i) ASSERT_EQ(result.next.bytes[3 * i], image.bytes[3 * i]);
    EXPECT_GE(result.change, 0);
    EXPECT_LE(result.change, 255);
  }
}

TEST(PropagationPass, ReturnsTheLargestChangeOrTheSmallestIntWithoutPixels) {
  Image empty(0, 0);
  EXPECT_EQ(run_pass(empty, 1, false).change, INT_MIN);
  EXPECT_EQ(run_pass(empty, 1, true).change, INT_MIN);
  // One V byte moved by 3 in a uniform image: its neighbours move, the
  // largest change is what the pass reports.
  Image image(5, 5, 80, 100, 100);
  image.at(2, 2)[2] = 112;
  PassResult result = run_pass(image, 1, false);
  EXPECT_EQ(result.next.at(2, 2)[2], 100);
  EXPECT_EQ(result.next.at(2, 1)[2], 103);
  EXPECT_EQ(result.change, 12);
}

// Each new value is bounded by the smallest and largest chroma of the
// samples it averages, then rounded half up.
TEST(PropagationPass, NewChromaIsBoundedBySamplesAndRoundedHalfUp) {
  struct Case {
    const char* what;
    int centre[3], above[3], left[3], right[3], below[3];
    int u, v;
    bool wide = false;
  };
  const Case cases[] = {
      // Lumas 0, 100, 100, 200 around 200: mean 100, variance 5000, weights
      // -1, 1, 1, 3. U (0 + 200 + 200 + 600) / 4 = 250 stops at 200;
      // V (-200 + 40 + 40 + 120) / 4 = 0 stops at 40.
      {"overshoot", {200, 128, 128}, {0, 0, 200}, {100, 200, 40}, {100, 200, 40}, {200, 200, 40}, 200, 40},
      // The same weights on equal chroma: the bounds are the value itself.
      {"equal chroma", {200, 0, 0}, {0, 77, 255}, {100, 77, 255}, {100, 77, 255}, {200, 77, 255}, 77, 255},
      // Uniform luma, so every weight is 1: U 10.5 rounds up, V 10.25 down.
      {"halves", {50, 0, 0}, {50, 10, 10}, {50, 11, 10}, {50, 10, 10}, {50, 11, 11}, 11, 10},
      {"quarters", {50, 0, 0}, {50, 0, 200}, {50, 1, 201}, {50, 0, 201}, {50, 0, 201}, 0, 201},
      // Wide samples: the overshoot's lumas times 256, U (0 + 3 x 51200 x
      // 5 / 3) / 4 = 64000 stops at 51200, V 0 at 10240, both beyond a byte.
      {"wide overshoot", {51200, 0, 0}, {0, 0, 51200}, {25600, 51200, 10240}, {25600, 51200, 10240},
       {51200, 51200, 10240}, 51200, 10240, true},
      // U 40000.5 rounds up, V 65534.75 up to the largest sample.
      {"wide halves", {50, 0, 0}, {50, 40000, 65535}, {50, 40001, 65534}, {50, 40000, 65535}, {50, 40001, 65535},
       40001, 65535, true},
  };
  for (const Case& c : cases) {
    const auto expect_new_chroma = [&](auto image) {
      PassResult result = run_pass(image, 1, false);
      EXPECT_EQ(result.next.at(1, 1)[1], c.u) << c.what;
      EXPECT_EQ(result.next.at(1, 1)[2], c.v) << c.what;
    };
    if (c.wide)
      expect_new_chroma(cross<std::uint16_t>(c.centre, c.above, c.left, c.right, c.below));
    else
      expect_new_chroma(cross(c.centre, c.above, c.left, c.right, c.below));
  }
}

TEST(PropagationPass, GaussianWeightsThatAllUnderflowKeepTheCentresChroma) {
  // Variance 0.1875 and a centre luma far from every sample.
  const int centre[] = {255, 37, 201};
  const int above[] = {0, 10, 10}, left[] = {0, 90, 90}, right[] = {0, 10, 90}, below[] = {1, 90, 10};
  PassResult result = run_pass(cross(centre, above, left, right, below), 1, true);
  EXPECT_EQ(result.next.at(1, 1)[1], 37);
  EXPECT_EQ(result.next.at(1, 1)[2], 201);
}

TEST(PropagationPass, TinyPositiveWeightSumStillGivesTheWeightedAverage) {
  // Samples 100, 98, 98, 100: variance 1. Centre 138: the two samples of
  // luma 100 weigh e^-722 (subnormal), the others 0; the reciprocal of the
  // weight sum overflows.
  const int centre[] = {138, 0, 0};
  const int above[] = {100, 100, 50}, left[] = {98, 255, 255}, right[] = {98, 255, 255}, below[] = {100, 200, 70};
  ASSERT_GT(gaussian_affinity(138, 100, 1.0), 0.0);
  ASSERT_FALSE(std::isfinite(1.0 / (2 * gaussian_affinity(138, 100, 1.0))));
  PassResult result = run_pass(cross(centre, above, left, right, below), 1, true);
  EXPECT_NEAR(result.next.at(1, 1)[1], 150, 1);
  EXPECT_NEAR(result.next.at(1, 1)[2], 60, 1);
}

}  // namespace

}  // namespace quillfen
