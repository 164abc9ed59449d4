#include "image/planar_yuy2_rows.h"

void interleave_yuy2_row_reference(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int pairs,
                                   std::uint8_t* out) {
  for (int pair = 0; pair < pairs; ++pair) {
    out[4 * pair + 0] = y[2 * pair];
    out[4 * pair + 1] = u[pair];
    out[4 * pair + 2] = y[2 * pair + 1];
    out[4 * pair + 3] = v[pair];
  }
}

void split_yuy2_row_reference(const std::uint8_t* in, int pairs, std::uint8_t* y, std::uint8_t* u,
                              std::uint8_t* v) {
  for (int pair = 0; pair < pairs; ++pair) {
    y[2 * pair] = in[4 * pair + 0];
    u[pair] = in[4 * pair + 1];
    y[2 * pair + 1] = in[4 * pair + 2];
    v[pair] = in[4 * pair + 3];
  }
}

namespace {

constexpr PlanarYuy2Rows kVariants[] = {
    {CpuLevel::reference, interleave_yuy2_row_reference, split_yuy2_row_reference},
#ifdef QUILLFEN_X86_ROWS
    {CpuLevel::sse2, interleave_yuy2_row_sse2, split_yuy2_row_sse2},
#endif
};

}  // namespace

std::span<const PlanarYuy2Rows> planar_yuy2_row_variants() { return kVariants; }
