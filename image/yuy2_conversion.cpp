#include "image/yuy2_conversion.h"

#include <cstddef>

#include "image/packed_yuv444.h"
#include "image/row_variants.h"
#include "image/yuy2_rows.h"

namespace quillfen {

void unpack_yuy2(const std::uint8_t* src, int src_pitch, bool sup, int width, int height, std::uint8_t* image) {
  const auto unpack_row = chosen_row_variant(yuy2_row_variants()).unpack;
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    unpack_row(src + static_cast<std::ptrdiff_t>(y) * src_pitch, sup, width, image + y * image_pitch);
}

void pack_yuy2(const std::uint8_t* image, int width, int height, std::uint8_t* dst, int dst_pitch) {
  const auto pack_row = chosen_row_variant(yuy2_row_variants()).pack;
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    pack_row(image + y * image_pitch, width, dst + static_cast<std::ptrdiff_t>(y) * dst_pitch);
}

}  // namespace quillfen
