// Unpacking YUY2 and planar frames into the working image and packing them
// back, and every form of the row routines against its reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "cpu/cpu_level.h"
#include "filter/frame_filter.h"
#include "image/packed_yuv444.h"
#include "image/planar_conversion.h"
#include "image/planar_rows.h"
#include "image/row_variants.h"
#include "image/yuy2_conversion.h"
#include "image/yuy2_rows.h"

namespace quillfen {

namespace {

struct Pixel {
  int y, u, v;
  bool operator==(const Pixel&) const = default;
};

std::vector<Pixel> unpack_row(const std::vector<std::uint8_t>& yuy2, bool sup) {
  const int width = static_cast<int>(yuy2.size()) / 2;
  std::vector<std::uint8_t> image(packed_yuv444_size(width, 1));
  unpack_yuy2(yuy2.data(), static_cast<int>(yuy2.size()), sup, width, 1, image.data());
  std::vector<Pixel> pixels;
  for (int x = 0; x < width; ++x) pixels.push_back({image[3 * x], image[3 * x + 1], image[3 * x + 2]});
  return pixels;
}

std::vector<std::uint8_t> pack_row(const std::vector<Pixel>& pixels) {
  std::vector<std::uint8_t> image;
  for (const Pixel& p : pixels) image.insert(image.end(), {std::uint8_t(p.y), std::uint8_t(p.u), std::uint8_t(p.v)});
  const int width = static_cast<int>(pixels.size());
  std::vector<std::uint8_t> yuy2(2 * width);
  pack_yuy2(image.data(), width, 1, yuy2.data(), 2 * width);
  return yuy2;
}

TEST(Yuy2Unpack, WidthTwoGivesBothPixelsThePairsChromaInEitherMode) {
  for (bool sup : {false, true})
    EXPECT_EQ(unpack_row({10, 20, 30, 40}, sup), (std::vector<Pixel>{{10, 20, 40}, {30, 20, 40}}));
  EXPECT_EQ(pack_row({{10, 20, 40}, {30, 20, 40}}), (std::vector<std::uint8_t>{10, 20, 30, 40}));
}

TEST(Yuy2Unpack, InterpolatesTowardTheNextPairAndDuplicatesAtTheRowEnd) {
  const std::vector<std::uint8_t> row = {1, 254, 2, 0, 3, 255, 4, 1, 5, 7, 6, 9};
  EXPECT_EQ(unpack_row(row, false),
            (std::vector<Pixel>{{1, 254, 0}, {2, 254, 0}, {3, 255, 1}, {4, 131, 5}, {5, 7, 9}, {6, 7, 9}}));
  EXPECT_EQ(unpack_row(row, true),
            (std::vector<Pixel>{{1, 254, 0}, {2, 254, 0}, {3, 255, 1}, {4, 255, 1}, {5, 7, 9}, {6, 7, 9}}));
}

TEST(Yuy2Unpack, TruncatesMeansWhilePackingRoundsHalvesUp) {
  // 254 and 255, then 0 and 1: unpacking truncates both.
  EXPECT_EQ(unpack_row({0, 254, 0, 0, 0, 255, 0, 1}, false)[1], (Pixel{0, 254, 0}));
  EXPECT_EQ(unpack_row({0, 255, 0, 0, 0, 255, 0, 1}, false)[1], (Pixel{0, 255, 0}));
  // Packing rounds the same pairs up.
  EXPECT_EQ(pack_row({{0, 254, 0}, {0, 255, 1}}), (std::vector<std::uint8_t>{0, 255, 0, 1}));
  EXPECT_EQ(pack_row({{0, 255, 255}, {0, 255, 255}}), (std::vector<std::uint8_t>{0, 255, 0, 255}));
}

TEST(Yuy2Unpack, InterpolatingRoundTripIsNotExact) {
  // The pair with U 0 followed by one with U 3 comes back with U 1.
  const std::vector<std::uint8_t> row = {9, 0, 9, 0, 9, 3, 9, 0};
  std::vector<Pixel> pixels = unpack_row(row, false);
  EXPECT_EQ(pack_row(pixels)[1], 1);
}

TEST(Yuy2Unpack, DuplicatingRoundTripIsExactOnRandomFrames) {
  std::mt19937 random(7);
  const int width = 18, height = 7, pitch = 48;
  std::vector<std::uint8_t> source(pitch * height);
  for (std::uint8_t& b : source) b = static_cast<std::uint8_t>(random());
  std::vector<std::uint8_t> image(packed_yuv444_size(width, height));
  unpack_yuy2(source.data(), pitch, true, width, height, image.data());
  std::vector<std::uint8_t> packed(pitch * height, 0);
  pack_yuy2(image.data(), width, height, packed.data(), pitch);
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < 2 * width; ++i) ASSERT_EQ(packed[y * pitch + i], source[y * pitch + i]);
}

TEST(Yuy2Unpack, PlanarFourTwoTwoGivesTheBytesOfYuy2BothWays) {
  std::mt19937 random(5);
  const int width = 14, height = 5, chroma_width = width / 2, pitch = 20;
  std::vector<std::uint8_t> yuy2(2 * width * height), y(pitch * height), u(pitch * height), v(pitch * height);
  for (int row = 0; row < height; ++row)
    for (int k = 0; k < chroma_width; ++k) {
      std::uint8_t* macropixel = &yuy2[2 * width * row + 4 * k];
      for (int i = 0; i < 4; ++i) macropixel[i] = static_cast<std::uint8_t>(random());
      y[pitch * row + 2 * k] = macropixel[0];
      u[pitch * row + k] = macropixel[1];
      y[pitch * row + 2 * k + 1] = macropixel[2];
      v[pitch * row + k] = macropixel[3];
    }
  std::vector<std::uint8_t> planar(packed_yuv444_size(width, height)), packed(planar.size());
  for (bool sup : {false, true}) {
    unpack_planar_422({y.data(), u.data(), v.data(), pitch, pitch, pitch}, sup, width, height, planar.data());
    unpack_yuy2(yuy2.data(), 2 * width, sup, width, height, packed.data());
    EXPECT_EQ(planar, packed) << "sup " << sup;
  }

  for (std::uint8_t& byte : planar) byte = static_cast<std::uint8_t>(random());
  pack_yuy2(planar.data(), width, height, yuy2.data(), 2 * width);
  std::vector<std::uint8_t> u_out(pitch * height, 0xEE), v_out(u_out);
  pack_planar_422_chroma(planar.data(), width, height, {u_out.data(), v_out.data(), pitch, pitch});
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < pitch; ++x) {
      const bool inside = x < chroma_width;
      EXPECT_EQ(u_out[pitch * row + x], inside ? yuy2[2 * width * row + 4 * x + 1] : 0xEE);
      EXPECT_EQ(v_out[pitch * row + x], inside ? yuy2[2 * width * row + 4 * x + 3] : 0xEE);
    }
}

// A planar frame of any layout in samples of either width, its planes
// `pitch` bytes apart: chroma `chroma_width` x `chroma_height`.
template <class Sample>
struct Planes {
  Planes(ChromaLayout layout, int width, int height, std::ptrdiff_t pitch_bytes)
      : layout(layout), width(width), height(height), pitch(pitch_bytes),
        chroma_width(layout == ChromaLayout::k444 ? width : width / 2),
        chroma_height(layout == ChromaLayout::k420 ? height / 2 : height),
        y(pitch / sizeof(Sample) * height), u(pitch / sizeof(Sample) * chroma_height), v(u) {}

  Sample& at(std::vector<Sample>& plane, int x, int row) { return plane[row * pitch / sizeof(Sample) + x]; }
  // The chroma samples of a plane, row-major, without what lies past a row.
  std::vector<Sample> inside(std::vector<Sample>& plane) {
    std::vector<Sample> samples;
    for (int row = 0; row < chroma_height; ++row)
      for (int x = 0; x < chroma_width; ++x) samples.push_back(at(plane, x, row));
    return samples;
  }

  void unpack(bool sup, Sample* image) const {
    const SourcePlanesOf<Sample> source{y.data(), u.data(), v.data(), pitch, pitch, pitch};
    std::vector<Sample> scratch(planar_420_scratch_size(width));
    if (layout == ChromaLayout::k422) unpack_planar_422(source, sup, width, height, image);
    if (layout == ChromaLayout::k420) unpack_planar_420(source, sup, width, height, image, scratch.data());
    if (layout == ChromaLayout::k444) unpack_planar_444(source, width, height, image);
  }
  void pack(const Sample* image) {
    const ChromaPlanesOf<Sample> destination{u.data(), v.data(), pitch, pitch};
    std::vector<Sample> scratch(planar_420_scratch_size(width));
    if (layout == ChromaLayout::k422) pack_planar_422_chroma(image, width, height, destination);
    if (layout == ChromaLayout::k420) pack_planar_420_chroma(image, width, height, destination, scratch.data());
    if (layout == ChromaLayout::k444) pack_planar_444_chroma(image, width, height, destination);
  }

  ChromaLayout layout;
  int width, height;
  std::ptrdiff_t pitch;
  int chroma_width, chroma_height;
  std::vector<Sample> y, u, v;
};

// A 16-bit frame holding 8-bit codes converts exactly as the 8-bit frame:
// the arithmetic is one at every depth. Pitches are in bytes, so the wide
// planes' pitch (not twice the narrow one) must be honoured, and nothing
// beyond a row is read or written.
TEST(Yuy2Unpack, PlanarLayoutsConvertAlikeAtEveryDepth) {
  const int width = 10, height = 6;
  std::mt19937 random(3);
  for (ChromaLayout layout : {ChromaLayout::k422, ChromaLayout::k420, ChromaLayout::k444}) {
    Planes<std::uint8_t> narrow(layout, width, height, 13);
    Planes<std::uint16_t> wide(layout, width, height, 2 * 13 + 8);
    for (auto plane : {&Planes<std::uint8_t>::y, &Planes<std::uint8_t>::u, &Planes<std::uint8_t>::v})
      for (std::uint8_t& sample : narrow.*plane) sample = static_cast<std::uint8_t>(random());
    const auto widen = [&](const std::vector<std::uint8_t>& plane, std::vector<std::uint16_t>& out, int columns,
                           int rows) {
      for (int row = 0; row < rows; ++row)
        for (int x = 0; x < 13; ++x) wide.at(out, x, row) = x < columns ? plane[row * 13 + x] : 0xFFFF;
    };
    widen(narrow.y, wide.y, width, height);
    widen(narrow.u, wide.u, narrow.chroma_width, narrow.chroma_height);
    widen(narrow.v, wide.v, narrow.chroma_width, narrow.chroma_height);
    std::vector<std::uint8_t> narrow_image(packed_yuv444_size(width, height));
    std::vector<std::uint16_t> wide_image(narrow_image.size());
    for (bool sup : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "layout " << static_cast<int>(layout) << ", sup " << sup);
      narrow.unpack(sup, narrow_image.data());
      wide.unpack(sup, wide_image.data());
      ASSERT_EQ(wide_image, std::vector<std::uint16_t>(narrow_image.begin(), narrow_image.end()));
      for (std::uint8_t& sample : narrow_image) sample = static_cast<std::uint8_t>(random());
      wide_image.assign(narrow_image.begin(), narrow_image.end());
      narrow.pack(narrow_image.data());
      wide.pack(wide_image.data());
      for (int row = 0; row < narrow.chroma_height; ++row)
        for (int x = 0; x < 13; ++x) {
          const int expected_u = x < narrow.chroma_width ? narrow.at(narrow.u, x, row) : 0xFFFF;
          const int expected_v = x < narrow.chroma_width ? narrow.at(narrow.v, x, row) : 0xFFFF;
          ASSERT_EQ(wide.at(wide.u, x, row), expected_u) << x << "," << row;
          ASSERT_EQ(wide.at(wide.v, x, row), expected_v) << x << "," << row;
        }
    }
  }
}

// At the top of the 16-bit range the means neither wrap nor lose their
// rounding: unpacking truncates, packing and the 4:2:0 rows round halves up.
// 4:4:4 carries every code through both ways unchanged, `sup` or not.
TEST(Yuy2Unpack, PlanarKnownValuesAtTheTopOfSixteenBits) {
  const int width = 4, height = 2;
  const std::vector<std::uint16_t> left_column = {65535, 65534};  // U and V of the left pair, rows 0 and 1
  struct Case {
    ChromaLayout layout;
    bool sup;
    std::vector<std::uint16_t> image_u;  // the image's U, row-major
    std::vector<std::uint16_t> packed_u;  // the plane's U after packing the image back
  };
  const Case cases[] = {
      {ChromaLayout::k422, false, {65535, 65534, 65533, 65533, 65534, 65533, 65533, 65533}, {65535, 65533, 65534, 65533}},
      {ChromaLayout::k422, true, {65535, 65535, 65533, 65533, 65534, 65534, 65533, 65533}, {65535, 65533, 65534, 65533}},
      // One 4:2:0 row: both image rows take it (3 * 65535 + 65535 + 2) >> 2.
      {ChromaLayout::k420, false, {65535, 65534, 65533, 65533, 65535, 65534, 65533, 65533}, {65535, 65533}},
      {ChromaLayout::k444, false, {65535, 65534, 65533, 0, 65534, 1, 2, 3}, {65535, 65534, 65533, 0, 65534, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "layout " << static_cast<int>(c.layout) << ", sup " << c.sup);
    Planes<std::uint16_t> planes(c.layout, width, height, 2 * width);
    for (int row = 0; row < planes.chroma_height; ++row)
      for (int x = 0; x < planes.chroma_width; ++x) {
        const std::uint16_t value = c.layout == ChromaLayout::k444 ? c.image_u[row * width + x]
                                    : x == 0                 ? left_column[row]
                                                             : 65533;
        planes.at(planes.u, x, row) = planes.at(planes.v, x, row) = value;
      }
    for (int i = 0; i < width * height; ++i) planes.y[i] = static_cast<std::uint16_t>(60000 + i);
    std::vector<std::uint16_t> image(packed_yuv444_size(width, height));
    planes.unpack(c.sup, image.data());
    for (int i = 0; i < width * height; ++i) {
      EXPECT_EQ(image[3 * i], 60000 + i) << "luma " << i;
      EXPECT_EQ(image[3 * i + 1], c.image_u[i]) << "u " << i;
      EXPECT_EQ(image[3 * i + 2], c.image_u[i]) << "v " << i;
    }
    planes.pack(image.data());
    EXPECT_EQ(planes.inside(planes.u), c.packed_u);
    EXPECT_EQ(planes.inside(planes.v), c.packed_u);
  }
}

TEST(Yuy2Unpack, PitchesBeyondTheRowSizeAreNeitherReadNorWritten) {
  const int width = 4, height = 3, pitch = 16;
  std::vector<std::uint8_t> source(pitch * height);
  for (int i = 0; i < pitch * height; ++i) source[i] = static_cast<std::uint8_t>(i % pitch < 2 * width ? i : 0xAB);
  std::vector<std::uint8_t> image(packed_yuv444_size(width, height));
  unpack_yuy2(source.data(), pitch, false, width, height, image.data());
  for (int i = 0; i < pitch * height; ++i)
    if (i % pitch >= 2 * width) source[i] = 0x11;
  std::vector<std::uint8_t> again(image.size());
  unpack_yuy2(source.data(), pitch, false, width, height, again.data());
  EXPECT_EQ(image, again);
  // Row 1 starts a whole pitch after row 0.
  EXPECT_EQ(image[3 * width], source[pitch]);

  std::vector<std::uint8_t> destination(pitch * height, 0x5A);
  pack_yuy2(image.data(), width, height, destination.data(), pitch);
  for (int i = 0; i < pitch * height; ++i) {
    if (i % pitch >= 2 * width) {
      EXPECT_EQ(destination[i], 0x5A) << "byte " << i;
    } else if (i % 2 == 0) {
      EXPECT_EQ(destination[i], source[i]) << "luma " << i;
    }
  }
}

TEST(Yuy2Unpack, HeightZeroTouchesNothing) {
  std::vector<std::uint8_t> image(12, 0x33), frame(8, 0x44);
  unpack_yuy2(nullptr, 8, false, 4, 0, image.data());
  pack_yuy2(image.data(), 4, 0, frame.data(), 8);
  EXPECT_EQ(image, std::vector<std::uint8_t>(12, 0x33));
  EXPECT_EQ(frame, std::vector<std::uint8_t>(8, 0x44));
}

// Row contents that reach every rounding case of the means: random samples,
// the top code, and neighbours one apart at both ends of the range.
template <class Sample>
std::vector<Sample> row_samples(std::size_t size, int kind) {
  constexpr Sample top = std::numeric_limits<Sample>::max();
  std::mt19937 random(static_cast<unsigned>(size * 4 + kind));
  std::vector<Sample> samples(size);
  for (std::size_t i = 0; i < size; ++i) {
    switch (kind % 4) {
      case 0: samples[i] = static_cast<Sample>(random()); break;
      case 1: samples[i] = top; break;
      case 2: samples[i] = static_cast<Sample>(i % 3 == 0 ? top - 1 : top); break;
      default: samples[i] = static_cast<Sample>(random() % 2); break;
    }
  }
  return samples;
}

// Every form of the row family against its reference, at every width up
// to a few of the widest form's groups, with guard bytes after the row that
// must stay as they were.
TEST(RowVariants, EveryFormStoresTheReferenceBytesAtEveryWidth) {
  constexpr std::size_t kGuard = 64;
  const Yuy2Rows& yuy2_reference = yuy2_row_variants().front();
  for (int width = 2; width <= 100; width += 2) {
    const int pairs = width / 2;
    const auto n = static_cast<std::size_t>(pairs);
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE(::testing::Message() << "width " << width << ", content " << kind);
      const std::vector<std::uint8_t> yuy2 = row_samples<std::uint8_t>(4 * n, kind);
      const std::vector<std::uint8_t> image = row_samples<std::uint8_t>(6 * n, kind + 1);
      for (const Yuy2Rows& form : yuy2_row_variants()) {
        if (!cpu_runs(form.level)) continue;
        SCOPED_TRACE(cpu_level_name(form.level));
        for (const bool sup : {false, true}) {
          std::vector<std::uint8_t> expected(6 * n + kGuard, 0x5A), actual(expected);
          yuy2_reference.unpack(yuy2.data(), sup, width, expected.data());
          form.unpack(yuy2.data(), sup, width, actual.data());
          ASSERT_EQ(actual, expected) << (sup ? "duplicating" : "interpolating");
        }
        std::vector<std::uint8_t> expected(4 * n + kGuard, 0x5A), actual(expected);
        yuy2_reference.pack(image.data(), width, expected.data());
        form.pack(image.data(), width, actual.data());
        ASSERT_EQ(actual, expected) << "packing";
      }
    }
  }
}

// Every form of the planar rows against its reference at one sample width:
// every width up to a few groups of the widest form (odd ones for 4:4:4 and
// the 4:2:0 chroma rows, odd pair counts for 4:2:2), both `sup`, guard
// samples after each output that must stay as they were.
template <class Sample>
void expect_planar_forms_store_the_reference_samples() {
  using Rows = PlanarRowsOf<Sample>;
  constexpr std::size_t kGuard = 32;
  const Rows& reference = planar_row_variants<Sample>().front();
  for (int width = 1; width <= 100; ++width) {
    const auto n = static_cast<std::size_t>(width), chroma = n / 2 + kGuard, plane = n + kGuard;
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE(::testing::Message() << "width " << width << ", content " << kind);
      const std::vector<Sample> luma = row_samples<Sample>(n, kind), u = row_samples<Sample>(n, kind + 1),
                                v = row_samples<Sample>(n, kind + 2), image = row_samples<Sample>(3 * n, kind + 3);
      // 4:2:2 rows' chroma sized exactly, so that a read past it shows under the sanitizers.
      const std::vector<Sample> pair_u(u.begin(), u.begin() + width / 2), pair_v(v.begin(), v.begin() + width / 2);
      struct Routine {
        const char* name;
        bool pairs;
        std::size_t size;
        std::function<void(const Rows&, bool, Sample*)> run;
      };
      const Routine routines[] = {
          {"unpack 4:2:2", true, 3 * n,
           [&](const Rows& r, bool sup, Sample* out) {
             r.unpack_422(luma.data(), pair_u.data(), pair_v.data(), sup, width, out);
           }},
          {"pack 4:2:2", true, 2 * chroma,
           [&](const Rows& r, bool, Sample* out) { r.pack_422_chroma(image.data(), width, out, out + chroma); }},
          {"interpolate 4:2:0", false, n,
           [&](const Rows& r, bool, Sample* out) { r.interpolate_420_chroma(u.data(), v.data(), width, out); }},
          {"average 4:2:0", false, n,
           [&](const Rows& r, bool, Sample* out) { r.average_420_chroma(u.data(), v.data(), width, out); }},
          {"unpack 4:4:4", false, 3 * n,
           [&](const Rows& r, bool, Sample* out) { r.unpack_444(luma.data(), u.data(), v.data(), width, out); }},
          {"pack 4:4:4", false, 2 * plane,
           [&](const Rows& r, bool, Sample* out) { r.pack_444_chroma(image.data(), width, out, out + plane); }},
      };
      for (const Rows& form : planar_row_variants<Sample>()) {
        if (!cpu_runs(form.level)) continue;
        SCOPED_TRACE(cpu_level_name(form.level));
        for (const Routine& routine : routines) {
          if (routine.pairs && width % 2 != 0) continue;
          for (const bool sup : {false, true}) {
            std::vector<Sample> expected(routine.size + kGuard, 0x5A), actual(expected);
            routine.run(reference, sup, expected.data());
            routine.run(form, sup, actual.data());
            ASSERT_EQ(actual, expected) << routine.name << (sup ? ", duplicating" : "");
          }
        }
      }
    }
  }
}

TEST(RowVariants, EveryPlanarFormStoresTheReferenceSamplesAtEveryWidth) {
  expect_planar_forms_store_the_reference_samples<std::uint8_t>();
  expect_planar_forms_store_the_reference_samples<std::uint16_t>();
}

// Holds QUILLFEN_CPU at a value (none for null) while it lives.
struct CpuCap {
  explicit CpuCap(const char* value) { value ? setenv(kCpuCapVariable, value, 1) : unsetenv(kCpuCapVariable); }
  ~CpuCap() { unsetenv(kCpuCapVariable); }
};

TEST(RowVariants, ConversionsTakeTheBestFormWithinTheCpuCap) {
  const CpuLevel reference = CpuLevel::reference;
  const CpuLevel ssse3 = cpu_runs(CpuLevel::ssse3) ? CpuLevel::ssse3 : reference;
  const CpuLevel avx2 = cpu_runs(CpuLevel::avx2) ? CpuLevel::avx2 : ssse3;
  struct Case {
    const char* cap;
    CpuLevel yuy2, planar;
  };
  for (const Case& c : {Case{nullptr, ssse3, avx2}, Case{"avx512", ssse3, avx2}, Case{"ssse3", ssse3, ssse3},
                        Case{"sse2", reference, reference}, Case{"portable", reference, reference},
                        Case{"no such level", reference, reference}}) {
    const CpuCap cap(c.cap);
    EXPECT_EQ(chosen_row_variant(yuy2_row_variants()).level, c.yuy2) << (c.cap ? c.cap : "no cap");
    EXPECT_EQ(chosen_row_variant(planar_row_variants<std::uint8_t>()).level, c.planar) << (c.cap ? c.cap : "no cap");
  }
}

TEST(PackedYuv444, SizeIsComputedWithoutIntOverflow) {
  EXPECT_EQ(packed_yuv444_size(40000, 30000), std::size_t{3600000000});
  EXPECT_EQ(packed_yuv444_size(0, 5), 0u);
}

}  // namespace

}  // namespace quillfen
