#include "image/yuy2_rows.h"

#include "image/pixel_pair_rows.h"

namespace quillfen {

// A YUY2 macropixel is Y0 U Y1 V: luma every 2 bytes, each chroma every 4.
void unpack_yuy2_row_reference(const std::uint8_t* src, bool sup, int width, std::uint8_t* out) {
  unpack_pair_row<2, 4>(src, src + 1, src + 3, sup, width, out);
}

void pack_yuy2_row_reference(const std::uint8_t* in, int width, std::uint8_t* dst) {
  for (int x = 0; x < width; ++x) dst[2 * x] = in[3 * x];
  pack_pair_chroma_row<4>(in, width, dst + 1, dst + 3);
}

namespace {

constexpr Yuy2Rows kVariants[] = {
    {CpuLevel::reference, unpack_yuy2_row_reference, pack_yuy2_row_reference},
#ifdef QUILLFEN_X86_ROWS
    {CpuLevel::ssse3, unpack_yuy2_row_ssse3, pack_yuy2_row_ssse3},
#endif
};

}  // namespace

std::span<const Yuy2Rows> yuy2_row_variants() { return kVariants; }

}  // namespace quillfen
