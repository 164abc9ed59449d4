#include "image/yuy2_conversion.h"

#include "image/packed_yuv444.h"
#include "image/pixel_pair_rows.h"

// A YUY2 macropixel is Y0 U Y1 V: luma every 2 bytes, each chroma every 4.
void unpack_yuy2(const BYTE* src, int src_pitch, bool sup, int width, int height, BYTE* image) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y) {
    const BYTE* row = src + static_cast<std::ptrdiff_t>(y) * src_pitch;
    unpack_pair_row<2, 4>(row, row + 1, row + 3, sup, width, image + y * image_pitch);
  }
}

void pack_yuy2(const BYTE* image, int width, int height, BYTE* dst, int dst_pitch) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y) {
    const BYTE* in = image + y * image_pitch;
    BYTE* row = dst + static_cast<std::ptrdiff_t>(y) * dst_pitch;
    for (int x = 0; x < width; ++x) row[2 * x] = in[3 * x];
    pack_pair_chroma_row<4>(in, width, row + 1, row + 3);
  }
}
