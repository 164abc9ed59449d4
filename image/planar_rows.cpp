#include "image/planar_rows.h"

#include "image/chroma_420.h"
#include "image/pixel_pair_rows.h"

namespace quillfen {

// In planes, consecutive samples of every kind lie next to each other.
template <class Sample>
void unpack_422_row_reference(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out) {
  unpack_pair_row<1, 1>(luma, u, v, sup, width, out);
}

template <class Sample>
void pack_422_chroma_row_reference(const Sample* in, int width, Sample* u, Sample* v) {
  pack_pair_chroma_row<1>(in, width, u, v);
}

template <class Sample>
void interpolate_420_chroma_row_reference(const Sample* nearer, const Sample* farther, int count, Sample* out) {
  interpolate_422_chroma_row<1>(nearer, farther, count, out);
}

template <class Sample>
void average_420_chroma_row_reference(const Sample* upper, const Sample* lower, int count, Sample* out) {
  average_420_chroma_row<1>(upper, lower, count, out);
}

// 4:4:4 is the image's own layout: each pixel's samples are copied as they
// are.
template <class Sample>
void unpack_444_row_reference(const Sample* luma, const Sample* u, const Sample* v, int width, Sample* out) {
  for (int x = 0; x < width; ++x) {
    out[3 * x] = luma[x];
    out[3 * x + 1] = u[x];
    out[3 * x + 2] = v[x];
  }
}

template <class Sample>
void pack_444_chroma_row_reference(const Sample* in, int width, Sample* u, Sample* v) {
  for (int x = 0; x < width; ++x) {
    u[x] = in[3 * x + 1];
    v[x] = in[3 * x + 2];
  }
}

namespace {

template <class Sample>
constexpr PlanarRowsOf<Sample> kVariants[] = {
    {CpuLevel::reference, unpack_422_row_reference<Sample>, pack_422_chroma_row_reference<Sample>,
     interpolate_420_chroma_row_reference<Sample>, average_420_chroma_row_reference<Sample>,
     unpack_444_row_reference<Sample>, pack_444_chroma_row_reference<Sample>},
#ifdef QUILLFEN_X86_ROWS
    {CpuLevel::ssse3, unpack_422_row_ssse3<Sample>, pack_422_chroma_row_ssse3<Sample>,
     interpolate_420_chroma_row_ssse3<Sample>, average_420_chroma_row_ssse3<Sample>, unpack_444_row_ssse3<Sample>,
     pack_444_chroma_row_ssse3<Sample>},
    {CpuLevel::avx2, unpack_422_row_avx2<Sample>, pack_422_chroma_row_avx2<Sample>,
     interpolate_420_chroma_row_ssse3<Sample>, average_420_chroma_row_ssse3<Sample>, unpack_444_row_ssse3<Sample>,
     pack_444_chroma_row_ssse3<Sample>},
#endif
};

}  // namespace

template <class Sample>
std::span<const PlanarRowsOf<Sample>> planar_row_variants() {
  return kVariants<Sample>;
}

#define QUILLFEN_PLANAR_ROWS(Sample)                                                                          \
  template void unpack_422_row_reference(const Sample*, const Sample*, const Sample*, bool, int, Sample*);   \
  template void pack_422_chroma_row_reference(const Sample*, int, Sample*, Sample*);                         \
  template void interpolate_420_chroma_row_reference(const Sample*, const Sample*, int, Sample*);            \
  template void average_420_chroma_row_reference(const Sample*, const Sample*, int, Sample*);                \
  template void unpack_444_row_reference(const Sample*, const Sample*, const Sample*, int, Sample*);         \
  template void pack_444_chroma_row_reference(const Sample*, int, Sample*, Sample*);                         \
  template std::span<const PlanarRowsOf<Sample>> planar_row_variants();
QUILLFEN_PLANAR_ROWS(std::uint8_t)
QUILLFEN_PLANAR_ROWS(std::uint16_t)

// 4:4:4 copies float samples as they are.
template void unpack_444_row_reference(const float*, const float*, const float*, int, float*);
template void pack_444_chroma_row_reference(const float*, int, float*, float*);

}  // namespace quillfen
