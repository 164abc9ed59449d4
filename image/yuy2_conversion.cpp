#include "image/yuy2_conversion.h"

#include "image/packed_yuv444.h"

namespace {

void unpack_row(const BYTE* src, bool sup, int width, BYTE* out) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    const BYTE* macropixel = src + 4 * k;
    BYTE* left = out + 6 * k;
    BYTE* right = left + 3;
    const int u = macropixel[1];
    const int v = macropixel[3];
    left[0] = macropixel[0];
    left[1] = static_cast<BYTE>(u);
    left[2] = static_cast<BYTE>(v);
    right[0] = macropixel[2];
    if (sup || k == pairs - 1) {
      right[1] = static_cast<BYTE>(u);
      right[2] = static_cast<BYTE>(v);
    } else {
      right[1] = static_cast<BYTE>((u + macropixel[5]) >> 1);
      right[2] = static_cast<BYTE>((v + macropixel[7]) >> 1);
    }
  }
}

void pack_row(const BYTE* in, int width, BYTE* dst) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    const BYTE* left = in + 6 * k;
    const BYTE* right = left + 3;
    BYTE* macropixel = dst + 4 * k;
    macropixel[0] = left[0];
    macropixel[1] = static_cast<BYTE>((left[1] + right[1] + 1) >> 1);
    macropixel[2] = right[0];
    macropixel[3] = static_cast<BYTE>((left[2] + right[2] + 1) >> 1);
  }
}

}  // namespace

void unpack_yuy2(const BYTE* src, int src_pitch, bool sup, int width, int height, BYTE* image) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    unpack_row(src + static_cast<std::ptrdiff_t>(y) * src_pitch, sup, width, image + y * image_pitch);
}

void pack_yuy2(const BYTE* image, int width, int height, BYTE* dst, int dst_pitch) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    pack_row(image + y * image_pitch, width, dst + static_cast<std::ptrdiff_t>(y) * dst_pitch);
}
