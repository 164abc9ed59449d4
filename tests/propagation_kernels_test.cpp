// Every pass kernel this CPU supports against the reference pass: the same
// samples in every pixel and the same returned change, on real-looking and
// random images of awkward sizes, at every small radius and some large ones,
// in both forms, including the rare paths of the weighted average, for byte
// images and for wide images at every depth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cpu/cpu_level.h"
#include "propagation/chroma_store.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "tests/support/luma_affinity.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

// Built against the altered core, this file must see the altered formulas
// too, or the run would compare the shipped ones once more.
#ifdef QUILLFEN_ALTERED_AFFINITY
static_assert(kAlteredAffinity, "affinity.h no longer reads QUILLFEN_ALTERED_AFFINITY");
#endif

namespace {

std::vector<std::uint8_t> noise_image(int width, int height, std::uint32_t seed) {
  SyntheticRandom random(seed);
  std::vector<std::uint8_t> image(3 * width * height);
  for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>(random.below(256));
  return image;
}

// A sample's bits, so that floats compare as stored: NaN equal to itself,
// -0 apart from +0.
std::uint32_t bits_of(std::uint8_t sample) { return sample; }
std::uint32_t bits_of(std::uint16_t sample) { return sample; }
std::uint32_t bits_of(float sample) {
  std::uint32_t bits;
  std::memcpy(&bits, &sample, sizeof bits);
  return bits;
}

// Runs the reference and every other supported kernel on `current`, bytes,
// wide samples or floats, and reports the first pixel where a kernel
// differs. The output buffers start with different garbage, so a pixel a
// kernel forgets to write shows up too.
// `runs`, where given, adds up the kernels' Gaussian runs by the path that
// stored them.
template <class Sample>
void expect_kernels_match(const std::vector<Sample>& current, int width, int height, int radius, bool gaussian,
                          const std::string& what, GaussianRunCounts* runs = nullptr) {
  const PassSettings settings{width, height, radius, gaussian};
  std::vector<Sample> expected(current.size(), static_cast<Sample>(0xA5A5));
  const auto expected_change = propagation_pass_reference(settings, current.data(), expected.data());
  const std::unique_ptr<GaussianWeightCache> memo = gaussian_weight_memo_for(gaussian);
  const std::unique_ptr<PassWorkspace> workspace = make_pass_workspace();
  for (const PassKernel& kernel : supported_pass_kernels()) {
    if (kernel.level == CpuLevel::reference) continue;
    std::vector<Sample> actual(current.size(), static_cast<Sample>(0x5A5A));
    const GaussianRunCounts before = workspace->gaussian_runs;
    const auto change = run_pass_kernel(kernel, settings, current.data(), actual.data(), memo.get(), *workspace);
    if (runs != nullptr) {
      runs->bounded += workspace->gaussian_runs.bounded - before.bounded;
      runs->exact += workspace->gaussian_runs.exact - before.exact;
    }
    const auto [at, ignored] = std::mismatch(expected.begin(), expected.end(), actual.begin(),
                                             [](Sample a, Sample b) { return bits_of(a) == bits_of(b); });
    const std::string where = what + " " + std::to_string(width) + "x" + std::to_string(height) + " radius " +
                              std::to_string(radius) + (gaussian ? " gaussian" : " linear") + " kernel " +
                              kernel.name;
    EXPECT_EQ(change, expected_change) << where;
    if (at != expected.end()) {
      const auto index = at - expected.begin();
      const auto pixel = index / 3;
      ADD_FAILURE() << where << ": first difference at pixel (" << pixel % width << ", " << pixel / width
                    << ") sample " << index % 3 << ": expected " << +*at << ", got "
                    << +actual[static_cast<std::size_t>(index)];
    }
  }
}

template <class Sample>
void expect_match_both_forms(const std::vector<Sample>& current, int width, int height, int radius,
                             const std::string& what) {
  expect_kernels_match(current, width, height, radius, false, what);
  expect_kernels_match(current, width, height, radius, true, what);
}

// QUILLFEN_CPU holds the choice to the fastest kernel at or below the level
// it names, down to the reference, and a name of no level is refused; each
// kernel goes by its level's name.
TEST(PassKernels, CapHoldsTheChoiceToANamedLevel) {
  const auto chosen_under = [](const char* cap) {
    if (cap) setenv(kCpuCapVariable, cap, 1);
    const PassKernel* chosen = chosen_pass_kernel();
    unsetenv(kCpuCapVariable);
    return chosen;
  };
  const std::vector<PassKernel> kernels = supported_pass_kernels();
  ASSERT_EQ(kernels.front().level, CpuLevel::reference);
  for (const PassKernel& kernel : kernels) EXPECT_EQ(cpu_cap_named(kernel.name), kernel.level) << kernel.name;
  for (const char* no_cap : {static_cast<const char*>(nullptr), ""}) {
    ASSERT_NE(chosen_under(no_cap), nullptr);
    EXPECT_EQ(chosen_under(no_cap)->run, kernels.back().run);
  }
  for (const CpuLevel cap : {CpuLevel::reference, CpuLevel::portable, CpuLevel::neon, CpuLevel::sse2, CpuLevel::ssse3,
                             CpuLevel::avx2, CpuLevel::avx512}) {
    const PassKernel* expected = &kernels.front();
    for (const PassKernel& kernel : kernels)
      if (kernel.level <= cap) expected = &kernel;
    const PassKernel* chosen = chosen_under(cpu_level_name(cap));
    ASSERT_NE(chosen, nullptr) << cpu_level_name(cap);
    EXPECT_EQ(chosen->run, expected->run) << cpu_level_name(cap);
  }
  for (const char* unknown : {"NEON", "AVX2", "avx2 "}) EXPECT_EQ(chosen_under(unknown), nullptr) << unknown;
}

// Sizes down to 2 x 2, odd heights, widths around and between the vector
// widths, each at every radius up to 8 that the size allows.
TEST(PassKernels, MatchReferenceOnRealLookingImages) {
  const int sizes[][2] = {{2, 2},  {3, 2},  {2, 5},  {5, 3},   {9, 4},   {10, 11}, {11, 7},
                          {17, 9}, {18, 19}, {23, 5}, {31, 33}, {64, 17}, {67, 21}, {101, 27}};
  std::uint32_t seed = 1;
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    const std::vector<std::uint8_t> current = synthetic_image(width, height, seed++);
    const int largest = std::min({8, width - 1, height - 1});
    for (int radius = 1; radius <= largest; ++radius) expect_match_both_forms(current, width, height, radius, "synthetic");
  }
}

// Random bytes: strong luma edges everywhere, so the linear form overshoots
// 0..255 at both ends and the Gaussian weights span the whole range.
TEST(PassKernels, MatchReferenceOnNoise) {
  const int sizes[][2] = {{2, 3}, {7, 7}, {12, 5}, {19, 13}, {29, 10}, {41, 9}};
  std::uint32_t seed = 100;
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    const std::vector<std::uint8_t> current = noise_image(width, height, seed++);
    const int largest = std::min({8, width - 1, height - 1});
    for (int radius = 1; radius <= largest; ++radius) expect_match_both_forms(current, width, height, radius, "noise");
  }
}

// Radii beyond the small ones, up to the largest the image allows, around
// the point where the vector kernels hand the whole pass to the
// straightforward walk.
TEST(PassKernels, MatchReferenceAtLargeRadii) {
  const int width = 47, height = 30;
  const std::vector<std::uint8_t> current = synthetic_image(width, height, 42);
  for (const int radius : {9, 12, 13, 29}) expect_match_both_forms(current, width, height, radius, "large radius");
  const std::vector<std::uint8_t> wide = synthetic_image(90, 14, 43);
  for (const int radius : {12, 13}) expect_match_both_forms(wide, 90, 14, radius, "wide");
}

// Flat luma makes the variance exactly 0 (every weight 1); with flat chroma
// too, radius 8 lowers most byte values by one through the reciprocal.
TEST(PassKernels, MatchReferenceOnUniformLuma) {
  const int width = 37, height = 21;
  SyntheticRandom random(5);
  for (const int luma : {0, 128, 255}) {
    std::vector<std::uint8_t> flat_luma(3 * width * height), flat_all(3 * width * height);
    const std::uint8_t chroma = static_cast<std::uint8_t>(random.below(256));
    for (int i = 0; i < width * height; ++i) {
      flat_luma[3 * i] = flat_all[3 * i] = static_cast<std::uint8_t>(luma);
      flat_luma[3 * i + 1] = static_cast<std::uint8_t>(random.below(256));
      flat_luma[3 * i + 2] = static_cast<std::uint8_t>(random.below(256));
      flat_all[3 * i + 1] = flat_all[3 * i + 2] = chroma;
    }
    for (const int radius : {1, 2, 4, 8}) {
      expect_match_both_forms(flat_luma, width, height, radius, "flat luma");
      expect_match_both_forms(flat_all, width, height, radius, "flat image");
    }
  }
}

// Wide enough for every kernel's vector runs at radius 8. Luma of only 0
// and 255 puts the linear numerators at about +-255 and the Gaussian
// exponents at their most negative; flat luma with scattered steps of one
// gives the smallest non-zero variances, where quotients are largest. Every
// row of the disc is visited, so the sample counts include powers of two
// (4 at radius 1) and the uneven counts of the mirrored top and bottom rows.
TEST(PassKernels, MatchReferenceOnExtremeLuma) {
  const int width = 83, height = 19;
  SyntheticRandom random(77);
  std::vector<std::uint8_t> two_level(3 * width * height), faint_steps(3 * width * height);
  for (int i = 0; i < width * height; ++i) {
    two_level[3 * i] = random.below(2) ? 255 : 0;
    faint_steps[3 * i] = static_cast<std::uint8_t>(random.below(9) == 0 ? 121 : 120);
    for (const int c : {1, 2}) {
      two_level[3 * i + c] = static_cast<std::uint8_t>(random.below(256));
      faint_steps[3 * i + c] = static_cast<std::uint8_t>(random.below(256));
    }
  }
  for (int radius = 1; radius <= 8; ++radius) {
    expect_match_both_forms(two_level, width, height, radius, "two-level luma");
    expect_match_both_forms(faint_steps, width, height, radius, "faint steps");
    expect_match_both_forms(synthetic_image(width, height, 300 + radius), width, height, radius, "wide synthetic");
  }
}

// Where the store's bound and rounding decide the byte: chroma noise of
// +-25 on a real-looking frame (the linear form overshoots at its edges),
// flat luma under chroma of two neighbouring values (averages at x.25,
// x.5 and x.75), and noisy luma under chroma that is constant in 8 x 8
// blocks (sample sets whose chroma is all equal, values at their bounds).
// For the Gaussian form, whose runs the bounded weights decide where they
// can: centres of luma 100 seven pixels apart in a field of 98 and 102,
// each with samples all of one weight and a variance above 0, under chroma
// of two neighbouring values, so that about one in five of their averages
// is a half, as near as the exact path's roundings put it, which only the
// exact weights decide; the test sees that runs went either way.
TEST(PassKernels, MatchReferenceWhereTheStoreBoundsAndRounds) {
  const int width = 83, height = 19;
  SyntheticRandom random(61);
  std::vector<std::uint8_t> noisy = synthetic_image(width, height, 62), halves(3 * width * height),
                    blocks(3 * width * height), equal_weights(3 * width * height);
  for (int i = 0; i < width * height; ++i) {
    const int x = i % width, y = i / width;
    halves[3 * i] = 90;
    blocks[3 * i] = static_cast<std::uint8_t>(random.below(256));
    equal_weights[3 * i] = static_cast<std::uint8_t>(x % 7 == 3 && y % 7 == 3 ? 100 : 98 + 4 * random.below(2));
    for (const int c : {1, 2}) {
      noisy[3 * i + c] = static_cast<std::uint8_t>(std::clamp(noisy[3 * i + c] + random.below(51) - 25, 0, 255));
      halves[3 * i + c] = static_cast<std::uint8_t>(100 * c + random.below(2));
      blocks[3 * i + c] = static_cast<std::uint8_t>((x / 8 * 37 + y / 8 * 91 + 50 * c) % 256);
      equal_weights[3 * i + c] = static_cast<std::uint8_t>(100 * c + random.below(2));
    }
  }
  GaussianRunCounts runs;
  for (const int radius : {1, 2, 3, 5, 8}) {
    expect_match_both_forms(noisy, width, height, radius, "chroma noise");
    expect_kernels_match(halves, width, height, radius, false, "halves");
    expect_match_both_forms(blocks, width, height, radius, "chroma blocks");
    expect_kernels_match(equal_weights, width, height, radius, true, "equal weights", &runs);
  }
  if (bounded_gaussian_powers_of(supported_pass_kernels().back()) != nullptr) {
    EXPECT_GT(runs.bounded, 0u);
    EXPECT_GT(runs.exact, 0u);
  }
}

// Crosses of radius-1 samples at several lane positions: three samples of
// luma 100 and one of 102 (variance 0.75) around a centre far brighter. At
// centre 135 only the 102 sample's weight survives, as a subnormal whose
// reciprocal overflows; at centre 142 every weight underflows to 0. Every
// third cross has three samples of 80 and one of 90 around a centre of
// 253, whose weight sum is subnormal with a finite reciprocal.
TEST(PassKernels, MatchReferenceWhenGaussianWeightsUnderflow) {
  const int width = 40, height = 7;
  SyntheticRandom random(9);
  std::vector<std::uint8_t> current(3 * width * height);
  for (int i = 0; i < width * height; ++i) {
    current[3 * i] = 100;
    current[3 * i + 1] = static_cast<std::uint8_t>(random.below(256));
    current[3 * i + 2] = static_cast<std::uint8_t>(random.below(256));
  }
  auto luma = [&](int x, int y) -> std::uint8_t& { return current[3 * (y * width + x)]; };
  for (int x = 2, k = 0; x + 1 < width - 1; x += 3, ++k) {
    if (k % 3 == 2) {
      luma(x - 1, 3) = luma(x, 2) = luma(x, 4) = 80;
      luma(x, 3) = 253;
      luma(x + 1, 3) = 90;
    } else {
      luma(x, 3) = k % 2 ? 142 : 135;
      luma(x + 1, 3) = 102;
    }
  }

  // The inputs really reach both rare paths.
  const double variance = 0.75;
  const double tiny_sum = 3 * gaussian_affinity(135, 100, variance) + gaussian_affinity(135, 102, variance);
  ASSERT_GT(tiny_sum, 0.0);
  ASSERT_FALSE(std::isfinite(1.0 / tiny_sum));
  ASSERT_EQ(3 * gaussian_affinity(142, 100, variance) + gaussian_affinity(142, 102, variance), 0.0);
  const double subnormal_sum = 3 * gaussian_affinity(253, 80, 18.75) + gaussian_affinity(253, 90, 18.75);
  ASSERT_LT(subnormal_sum, DBL_MIN);
  ASSERT_TRUE(std::isfinite(1.0 / subnormal_sum));

  expect_kernels_match(current, width, height, 1, true, "underflow");
}

// The Gaussian form from radius 2 marks the luma differences each lane of a
// run meets and looks each weight up once. Images wide enough for the
// widest runs, where the lanes of one run meet disjoint sets of differences
// spread over 0..255, where a periodic tile repeats the same variance in
// many lanes and runs, where centres of variance 0 sit beside centres with
// large differences, and where bright dots on a faint texture make every
// weight of a centre underflow (the first dot below is checked to do so)
// or, the second, leave a subnormal weight sum with a finite reciprocal.
TEST(PassKernels, MatchReferenceOnGaussianRunsOfDistinctDifferences) {
  const int width = 150, height = 23;
  SyntheticRandom random(31);
  std::vector<std::uint8_t> bands(3 * width * height), tiled(3 * width * height), lone_steps(3 * width * height),
      bright_dots(3 * width * height);
  std::uint8_t tile[4][4];
  for (auto& tile_row : tile)
    for (std::uint8_t& luma : tile_row) luma = static_cast<std::uint8_t>(random.below(256));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      bands[3 * i] = static_cast<std::uint8_t>((x % 5) * 60 + y % 3);
      tiled[3 * i] = tile[y % 4][x % 4];
      lone_steps[3 * i] = static_cast<std::uint8_t>(x % 7 == 0 ? 90 + (x * 13 + y) % 166 : 90);
      bright_dots[3 * i] = static_cast<std::uint8_t>(random.below(9) == 0 ? 101 : 100);
      for (auto* image : {&bands, &tiled, &lone_steps, &bright_dots})
        for (const int c : {1, 2}) (*image)[3 * i + c] = static_cast<std::uint8_t>(random.below(256));
    }
  }
  // Dots 160 bright, each far enough from the others that its own disc at
  // radius 3 holds only the faint texture; the first one's disc is 100
  // everywhere but at one sample of 101.
  for (int x = 10; x + 4 < width; x += 9) bright_dots[3 * (11 * width + x)] = 160;
  for (int dy = -3; dy <= 3; ++dy)
    for (int dx = -3; dx <= 3; ++dx) bright_dots[3 * ((11 + dy) * width + 10 + dx)] = 100;
  bright_dots[3 * (12 * width + 10)] = 101;
  bright_dots[3 * (11 * width + 10)] = 160;
  const double variance = 27.0 / 28.0 / 28.0;  // 27 samples of 100, one of 101
  ASSERT_EQ(27 * gaussian_affinity(160, 100, variance) + gaussian_affinity(160, 101, variance), 0.0);
  // The second: 26 samples of 100 and two of 110 around 207.
  for (int dy = -3; dy <= 3; ++dy)
    for (int dx = -3; dx <= 3; ++dx) bright_dots[3 * ((11 + dy) * width + 19 + dx)] = 100;
  bright_dots[3 * (10 * width + 18)] = bright_dots[3 * (13 * width + 19)] = 110;
  bright_dots[3 * (11 * width + 19)] = 207;
  const double two_step_variance = luma_statistics(26 * 100 + 2 * 110, 26 * 100 * 100 + 2 * 110 * 110, 28).variance;
  const double subnormal_sum =
      26 * gaussian_affinity(207, 100, two_step_variance) + 2 * gaussian_affinity(207, 110, two_step_variance);
  ASSERT_LT(subnormal_sum, DBL_MIN);
  ASSERT_TRUE(std::isfinite(1.0 / subnormal_sum));

  for (const int radius : {1, 2, 3, 4, 5, 8}) {
    expect_match_both_forms(bands, width, height, radius, "bands");
    expect_match_both_forms(tiled, width, height, radius, "tiled");
    expect_match_both_forms(lone_steps, width, height, radius, "lone steps");
    expect_kernels_match(bright_dots, width, height, radius, true, "bright dots");
  }
}

// Images at a depth, samples of 0 to 2^bits - 1: a real-looking frame
// raised to the depth with noise in the new low bits; noise in every
// sample, the chroma independent of the luma as in 4:4:4 footage; every
// sample 0 or the depth's largest; a faint texture with bright dots, where
// Gaussian weights underflow; and noise with every seventh sample above
// the depth's range, as a 16-bit container of fewer bits may hold.
enum class DepthImage { kRaised, kNoise, kExtremes, kDots, kAboveRange };

std::vector<std::uint16_t> depth_image(DepthImage kind, int width, int height, int bits, std::uint32_t seed) {
  SyntheticRandom random(seed);
  const int largest = (1 << bits) - 1;
  const std::vector<std::uint8_t> frame = synthetic_image(width, height, seed);
  std::vector<std::uint16_t> image(frame.size());
  for (std::size_t i = 0; i < image.size(); ++i) {
    const int x = static_cast<int>(i / 3) % width, y = static_cast<int>(i / 3) / width;
    int value = random.below(largest + 1);
    if (kind == DepthImage::kRaised) value = frame[i] << (bits - 8) | random.below(1 << (bits - 8));
    if (kind == DepthImage::kExtremes) value = random.below(2) * largest;
    if (kind == DepthImage::kDots && i % 3 == 0)
      value = largest / 3 + (x % 9 == 4 && y % 5 == 2 ? largest / 4 : random.below(9) == 0);
    if (kind == DepthImage::kAboveRange && i % 7 == 0) value = largest + 1 + random.below(65535 - largest);
    image[i] = static_cast<std::uint16_t>(value);
  }
  return image;
}

// Every depth the filter takes, each with byte images at 8 bits and wide
// ones above: radii whose Gaussian weights take one list or several
// (kListedSamples), odd sizes wide enough for the widest runs and narrow
// ones.
TEST(PassKernels, MatchReferenceAtEveryDepth) {
  const struct {
    DepthImage kind;
    const char* what;
  } kinds[] = {{DepthImage::kRaised, "raised"},
               {DepthImage::kNoise, "noise"},
               {DepthImage::kExtremes, "extremes"},
               {DepthImage::kDots, "dots"},
               {DepthImage::kAboveRange, "above range"}};
  const struct {
    int width, height;
    std::vector<int> radii;
  } sizes[] = {{83, 13, {1, 2, 3, 5}}, {41, 7, {1, 4}}};
  std::uint32_t seed = 500;
  for (const int bits : {8, 9, 10, 12, 16})
    for (const auto& kind : kinds) {
      if (kind.kind == DepthImage::kAboveRange && bits == 16) continue;
      for (const auto& size : sizes) {
        const std::vector<std::uint16_t> wide = depth_image(kind.kind, size.width, size.height, bits, seed++);
        const std::string what = std::string(kind.what) + " " + std::to_string(bits) + "-bit";
        for (const int radius : size.radii) {
          if (bits > 8 || kind.kind == DepthImage::kAboveRange)
            expect_match_both_forms(wide, size.width, size.height, radius, what);
          else
            expect_match_both_forms(std::vector<std::uint8_t>(wide.begin(), wide.end()), size.width, size.height,
                                    radius, what);
        }
      }
    }
}

// Float images (luma nominally 0 to 1, chroma -0.5 to 0.5): a real-looking
// frame from 8-bit codes; continuous noise; flat luma with steps of one
// float, where variances are tiny; values from subnormal to 1e38 and both
// zeros; and NaN and infinities scattered over a real-looking frame, which
// the kernels must keep where they are as the reference does.
enum class FloatImage { kFromBytes, kNoise, kFaintSteps, kExtremes, kNonFinite };

std::vector<float> float_image(FloatImage kind, int width, int height, std::uint32_t seed) {
  SyntheticRandom random(seed);
  const std::vector<std::uint8_t> frame = synthetic_image(width, height, seed);
  const float specials[] = {0.0f, -0.0f, 1e-45f, -3e-42f, 1e-30f, 3e38f, -1e38f, 0.5f, -0.5f, 1.0f};
  const float non_finite[] = {std::nanf(""), INFINITY, -INFINITY};
  std::vector<float> image(frame.size());
  for (std::size_t i = 0; i < image.size(); ++i) {
    const bool luma = i % 3 == 0;
    const float from_byte = luma ? frame[i] / 255.0f : (frame[i] - 128) / 255.0f;
    const float uniform = static_cast<float>(random.next() >> 8) / 16777216.0f - (luma ? 0.0f : 0.5f);
    switch (kind) {
      case FloatImage::kFromBytes: image[i] = from_byte; break;
      case FloatImage::kNoise: image[i] = uniform; break;
      case FloatImage::kFaintSteps: image[i] = luma ? std::nextafter(0.3f, random.below(7) ? 0.0f : 1.0f) : uniform; break;
      case FloatImage::kExtremes: image[i] = random.below(3) ? specials[random.below(10)] : uniform; break;
      case FloatImage::kNonFinite: image[i] = random.below(97) ? from_byte : non_finite[random.below(3)]; break;
    }
  }
  return image;
}

TEST(PassKernels, MatchReferenceOnFloatImages) {
  const struct {
    FloatImage kind;
    const char* what;
  } kinds[] = {{FloatImage::kFromBytes, "float from bytes"},
               {FloatImage::kNoise, "float noise"},
               {FloatImage::kFaintSteps, "float faint steps"},
               {FloatImage::kExtremes, "float extremes"},
               {FloatImage::kNonFinite, "float non-finite"}};
  const struct {
    int width, height;
    std::vector<int> radii;
  } sizes[] = {{83, 13, {1, 2, 3, 5, 8}}, {41, 7, {1, 4}}, {5, 4, {1, 3}}, {47, 30, {13}}};
  std::uint32_t seed = 900;
  for (const auto& kind : kinds)
    for (const auto& size : sizes) {
      const std::vector<float> image = float_image(kind.kind, size.width, size.height, seed++);
      for (const int radius : size.radii) expect_match_both_forms(image, size.width, size.height, radius, kind.what);
    }
}

}  // namespace

}  // namespace quillfen
