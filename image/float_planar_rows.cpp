// The planar rows of float clips: the integer formulas (pixel_pair_rows.h,
// chroma_420.h) without their roundings. Each mean is taken in double and
// stored as the nearest float. A mean that is not finite (an operand is NaN
// or infinite) is the sample's own value instead, the left pixel of a pair,
// the nearer or the upper row: a value that is not a number stays where it
// is and never reaches the samples beside it.
#include <cstdint>

#include "image/planar_rows.h"

namespace quillfen {

namespace {

// The mean of `own` and `other` weighted 3 and 1 (kOwnWeight 3) or 1 and 1,
// as a float.
template <int kOwnWeight>
float mean_or_own(float own, float other) {
  const double mean = (kOwnWeight * static_cast<double>(own) + static_cast<double>(other)) / (kOwnWeight + 1);
  return __builtin_isfinite(mean) ? static_cast<float>(mean) : own;
}

void unpack_422_row(const float* luma, const float* u, const float* v, bool sup, int width, float* out) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    float* left = out + 6 * k;
    float* right = left + 3;
    left[0] = luma[2 * k];
    left[1] = u[k];
    left[2] = v[k];
    right[0] = luma[2 * k + 1];
    const bool duplicate = sup || k == pairs - 1;
    right[1] = duplicate ? u[k] : mean_or_own<1>(u[k], u[k + 1]);
    right[2] = duplicate ? v[k] : mean_or_own<1>(v[k], v[k + 1]);
  }
}

void pack_422_chroma_row(const float* in, int width, float* u, float* v) {
  for (int k = 0; k < width / 2; ++k) {
    const float* left = in + 6 * k;
    u[k] = mean_or_own<1>(left[1], left[4]);
    v[k] = mean_or_own<1>(left[2], left[5]);
  }
}

void interpolate_420_chroma_row(const float* nearer, const float* farther, int count, float* out) {
  for (int x = 0; x < count; ++x) out[x] = mean_or_own<3>(nearer[x], farther[x]);
}

void average_420_chroma_row(const float* upper, const float* lower, int count, float* out) {
  for (int x = 0; x < count; ++x) out[x] = mean_or_own<1>(upper[x], lower[x]);
}

constexpr PlanarRowsOf<float> kFloatRows[] = {
    {CpuLevel::reference, unpack_422_row, pack_422_chroma_row, interpolate_420_chroma_row, average_420_chroma_row,
     unpack_444_row_reference<float>, pack_444_chroma_row_reference<float>},
};

}  // namespace

template <>
std::span<const PlanarRowsOf<float>> planar_row_variants<float>() {
  return kFloatRows;
}

}  // namespace quillfen
