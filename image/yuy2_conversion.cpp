#include "image/yuy2_conversion.h"

#include "image/packed_yuv444.h"
#include "image/pixel_pair_rows.h"
#include "image/yuy2_rows.h"

namespace {

bool cpu_has_ssse3() { return __builtin_cpu_supports("ssse3"); }

}  // namespace

// A YUY2 macropixel is Y0 U Y1 V: luma every 2 bytes, each chroma every 4.
void unpack_yuy2_row(const BYTE* src, bool sup, int width, BYTE* out) {
  unpack_pair_row<2, 4>(src, src + 1, src + 3, sup, width, out);
}

void pack_yuy2_row(const BYTE* in, int width, BYTE* dst) {
  for (int x = 0; x < width; ++x) dst[2 * x] = in[3 * x];
  pack_pair_chroma_row<4>(in, width, dst + 1, dst + 3);
}

void unpack_yuy2(const BYTE* src, int src_pitch, bool sup, int width, int height, BYTE* image) {
  const auto unpack_row = cpu_has_ssse3() ? unpack_yuy2_row_ssse3 : unpack_yuy2_row;
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    unpack_row(src + static_cast<std::ptrdiff_t>(y) * src_pitch, sup, width, image + y * image_pitch);
}

void pack_yuy2(const BYTE* image, int width, int height, BYTE* dst, int dst_pitch) {
  const auto pack_row = cpu_has_ssse3() ? pack_yuy2_row_ssse3 : pack_yuy2_row;
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    pack_row(image + y * image_pitch, width, dst + static_cast<std::ptrdiff_t>(y) * dst_pitch);
}
