// One row of each planar conversion (see planar_conversion.h), at either
// sample width, in every form (row_variants.h): the reference loops, and one
// built on SSSE3 byte shuffles for x86 CPUs that have them, which converts
// 16 bytes of each source plane at a time and hands what does not fill a
// group to the reference, and one that takes the 4:2:2 rows on AVX2 two
// such groups at a time.
#pragma once

#include <cstdint>
#include <span>

#include "cpu/cpu_level.h"

namespace quillfen {

// Rows of `width` pixels; 4:2:2 rows have width / 2 chroma samples (width
// even, at least 2), and the image row 3 * width samples.
template <class Sample>
struct PlanarRowsOf {
  CpuLevel level;
  // One image row from a 4:2:2 row, `sup` deciding each pair's right pixel.
  void (*unpack_422)(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out);
  // A 4:2:2 row's chroma from one image row.
  void (*pack_422_chroma)(const Sample* in, int width, Sample* u, Sample* v);
  // A 4:2:2 chroma row of `count` samples from its two nearest 4:2:0 rows.
  void (*interpolate_420_chroma)(const Sample* nearer, const Sample* farther, int count, Sample* out);
  // A 4:2:0 chroma row of `count` samples from the two 4:2:2 rows around it.
  void (*average_420_chroma)(const Sample* upper, const Sample* lower, int count, Sample* out);
  // One image row from a 4:4:4 row.
  void (*unpack_444)(const Sample* luma, const Sample* u, const Sample* v, int width, Sample* out);
  // A 4:4:4 row's chroma from one image row.
  void (*pack_444_chroma)(const Sample* in, int width, Sample* u, Sample* v);
};

// Every form built for this target, the reference first; for Sample
// std::uint8_t and std::uint16_t. Float rows have one form, of their own
// (float_planar_rows.cpp).
template <class Sample>
std::span<const PlanarRowsOf<Sample>> planar_row_variants();
template <>
std::span<const PlanarRowsOf<float>> planar_row_variants<float>();

template <class Sample>
void unpack_422_row_reference(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out);
template <class Sample>
void pack_422_chroma_row_reference(const Sample* in, int width, Sample* u, Sample* v);
template <class Sample>
void interpolate_420_chroma_row_reference(const Sample* nearer, const Sample* farther, int count, Sample* out);
template <class Sample>
void average_420_chroma_row_reference(const Sample* upper, const Sample* lower, int count, Sample* out);
template <class Sample>
void unpack_444_row_reference(const Sample* luma, const Sample* u, const Sample* v, int width, Sample* out);
template <class Sample>
void pack_444_chroma_row_reference(const Sample* in, int width, Sample* u, Sample* v);

// Built for x86 targets only.
template <class Sample>
void unpack_422_row_ssse3(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out);
template <class Sample>
void pack_422_chroma_row_ssse3(const Sample* in, int width, Sample* u, Sample* v);
template <class Sample>
void interpolate_420_chroma_row_ssse3(const Sample* nearer, const Sample* farther, int count, Sample* out);
template <class Sample>
void average_420_chroma_row_ssse3(const Sample* upper, const Sample* lower, int count, Sample* out);
template <class Sample>
void unpack_444_row_ssse3(const Sample* luma, const Sample* u, const Sample* v, int width, Sample* out);
template <class Sample>
void pack_444_chroma_row_ssse3(const Sample* in, int width, Sample* u, Sample* v);
template <class Sample>
void unpack_422_row_avx2(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out);
template <class Sample>
void pack_422_chroma_row_avx2(const Sample* in, int width, Sample* u, Sample* v);

}  // namespace quillfen
