// Unpacking YUY2 into the working image and packing it back.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/packed_yuv444.h"
#include "image/planar_conversion.h"
#include "image/yuy2_conversion.h"
#include "image/yuy2_rows.h"

namespace {

struct Pixel {
  int y, u, v;
  bool operator==(const Pixel&) const = default;
};

std::vector<Pixel> unpack_row(const std::vector<BYTE>& yuy2, bool sup) {
  const int width = static_cast<int>(yuy2.size()) / 2;
  std::vector<BYTE> image(packed_yuv444_size(width, 1));
  unpack_yuy2(yuy2.data(), static_cast<int>(yuy2.size()), sup, width, 1, image.data());
  std::vector<Pixel> pixels;
  for (int x = 0; x < width; ++x) pixels.push_back({image[3 * x], image[3 * x + 1], image[3 * x + 2]});
  return pixels;
}

std::vector<BYTE> pack_row(const std::vector<Pixel>& pixels) {
  std::vector<BYTE> image;
  for (const Pixel& p : pixels) image.insert(image.end(), {BYTE(p.y), BYTE(p.u), BYTE(p.v)});
  const int width = static_cast<int>(pixels.size());
  std::vector<BYTE> yuy2(2 * width);
  pack_yuy2(image.data(), width, 1, yuy2.data(), 2 * width);
  return yuy2;
}

TEST(Yuy2Unpack, WidthTwoGivesBothPixelsThePairsChromaInEitherMode) {
  for (bool sup : {false, true})
    EXPECT_EQ(unpack_row({10, 20, 30, 40}, sup), (std::vector<Pixel>{{10, 20, 40}, {30, 20, 40}}));
  EXPECT_EQ(pack_row({{10, 20, 40}, {30, 20, 40}}), (std::vector<BYTE>{10, 20, 30, 40}));
}

TEST(Yuy2Unpack, InterpolatesTowardTheNextPairAndDuplicatesAtTheRowEnd) {
  const std::vector<BYTE> row = {1, 254, 2, 0, 3, 255, 4, 1, 5, 7, 6, 9};
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
  EXPECT_EQ(pack_row({{0, 254, 0}, {0, 255, 1}}), (std::vector<BYTE>{0, 255, 0, 1}));
  EXPECT_EQ(pack_row({{0, 255, 255}, {0, 255, 255}}), (std::vector<BYTE>{0, 255, 0, 255}));
}

TEST(Yuy2Unpack, InterpolatingRoundTripIsNotExact) {
  // The pair with U 0 followed by one with U 3 comes back with U 1.
  const std::vector<BYTE> row = {9, 0, 9, 0, 9, 3, 9, 0};
  std::vector<Pixel> pixels = unpack_row(row, false);
  EXPECT_EQ(pack_row(pixels)[1], 1);
}

TEST(Yuy2Unpack, DuplicatingRoundTripIsExactOnRandomFrames) {
  std::mt19937 random(7);
  const int width = 18, height = 7, pitch = 48;
  std::vector<BYTE> source(pitch * height);
  for (BYTE& b : source) b = static_cast<BYTE>(random());
  std::vector<BYTE> image(packed_yuv444_size(width, height));
  unpack_yuy2(source.data(), pitch, true, width, height, image.data());
  std::vector<BYTE> packed(pitch * height, 0);
  pack_yuy2(image.data(), width, height, packed.data(), pitch);
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < 2 * width; ++i) ASSERT_EQ(packed[y * pitch + i], source[y * pitch + i]);
}

TEST(Yuy2Unpack, PlanarFourTwoTwoGivesTheBytesOfYuy2BothWays) {
  std::mt19937 random(5);
  const int width = 14, height = 5, chroma_width = width / 2, pitch = 20;
  std::vector<BYTE> yuy2(2 * width * height), y(pitch * height), u(pitch * height), v(pitch * height);
  for (int row = 0; row < height; ++row)
    for (int k = 0; k < chroma_width; ++k) {
      BYTE* macropixel = &yuy2[2 * width * row + 4 * k];
      for (int i = 0; i < 4; ++i) macropixel[i] = static_cast<BYTE>(random());
      y[pitch * row + 2 * k] = macropixel[0];
      u[pitch * row + k] = macropixel[1];
      y[pitch * row + 2 * k + 1] = macropixel[2];
      v[pitch * row + k] = macropixel[3];
    }
  std::vector<BYTE> planar(packed_yuv444_size(width, height)), packed(planar.size());
  for (bool sup : {false, true}) {
    unpack_planar_422({y.data(), u.data(), v.data(), pitch, pitch, pitch}, sup, width, height, planar.data());
    unpack_yuy2(yuy2.data(), 2 * width, sup, width, height, packed.data());
    EXPECT_EQ(planar, packed) << "sup " << sup;
  }

  for (BYTE& byte : planar) byte = static_cast<BYTE>(random());
  pack_yuy2(planar.data(), width, height, yuy2.data(), 2 * width);
  std::vector<BYTE> u_out(pitch * height, 0xEE), v_out(u_out);
  pack_planar_422_chroma(planar.data(), width, height, {u_out.data(), v_out.data(), pitch, pitch});
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < pitch; ++x) {
      const bool inside = x < chroma_width;
      EXPECT_EQ(u_out[pitch * row + x], inside ? yuy2[2 * width * row + 4 * x + 1] : 0xEE);
      EXPECT_EQ(v_out[pitch * row + x], inside ? yuy2[2 * width * row + 4 * x + 3] : 0xEE);
    }
}

TEST(Yuy2Unpack, PitchesBeyondTheRowSizeAreNeitherReadNorWritten) {
  const int width = 4, height = 3, pitch = 16;
  std::vector<BYTE> source(pitch * height);
  for (int i = 0; i < pitch * height; ++i) source[i] = static_cast<BYTE>(i % pitch < 2 * width ? i : 0xAB);
  std::vector<BYTE> image(packed_yuv444_size(width, height));
  unpack_yuy2(source.data(), pitch, false, width, height, image.data());
  for (int i = 0; i < pitch * height; ++i)
    if (i % pitch >= 2 * width) source[i] = 0x11;
  std::vector<BYTE> again(image.size());
  unpack_yuy2(source.data(), pitch, false, width, height, again.data());
  EXPECT_EQ(image, again);
  // Row 1 starts a whole pitch after row 0.
  EXPECT_EQ(image[3 * width], source[pitch]);

  std::vector<BYTE> destination(pitch * height, 0x5A);
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
  std::vector<BYTE> image(12, 0x33), frame(8, 0x44);
  unpack_yuy2(nullptr, 8, false, 4, 0, image.data());
  pack_yuy2(image.data(), 4, 0, frame.data(), 8);
  EXPECT_EQ(image, std::vector<BYTE>(12, 0x33));
  EXPECT_EQ(frame, std::vector<BYTE>(8, 0x44));
}

// Row contents that reach every rounding case of both means: random bytes,
// the extremes, and neighbours one apart at both ends of the range.
std::vector<BYTE> row_bytes(std::size_t size, int kind) {
  std::mt19937 random(static_cast<unsigned>(size * 4 + kind));
  std::vector<BYTE> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    switch (kind) {
      case 0: bytes[i] = static_cast<BYTE>(random()); break;
      case 1: bytes[i] = 255; break;
      case 2: bytes[i] = static_cast<BYTE>(i % 3 == 0 ? 254 : 255); break;
      default: bytes[i] = static_cast<BYTE>(random() % 2); break;
    }
  }
  return bytes;
}

TEST(Yuy2Unpack, ShufflingRowsStoreThePlainRowsBytesAtEveryWidth) {
  if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "this CPU has no SSSE3";
  constexpr std::size_t kGuard = 32;  // bytes past the row that must stay as they were
  for (int width = 2; width <= 74; width += 2) {
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE(::testing::Message() << "width " << width << ", content " << kind);
      const std::vector<BYTE> yuy2 = row_bytes(2 * width, kind);
      for (const bool sup : {false, true}) {
        std::vector<BYTE> plain(3 * width + kGuard, 0x5A), shuffled(plain);
        unpack_yuy2_row(yuy2.data(), sup, width, plain.data());
        unpack_yuy2_row_ssse3(yuy2.data(), sup, width, shuffled.data());
        ASSERT_EQ(shuffled, plain) << (sup ? "duplicating" : "interpolating");
      }
      const std::vector<BYTE> image = row_bytes(3 * width, kind + 1);
      std::vector<BYTE> plain(2 * width + kGuard, 0x5A), shuffled(plain);
      pack_yuy2_row(image.data(), width, plain.data());
      pack_yuy2_row_ssse3(image.data(), width, shuffled.data());
      ASSERT_EQ(shuffled, plain) << "packing";
    }
  }
}

TEST(PackedYuv444, SizeIsComputedWithoutIntOverflow) {
  EXPECT_EQ(packed_yuv444_size(40000, 30000), std::size_t{3600000000});
  EXPECT_EQ(packed_yuv444_size(0, 5), 0u);
}

}  // namespace
