// Built with AVX2 for x86 targets, and chosen only where the CPU has it: the
// 4:2:2 rows, which the command's 8-bit clips spend most of their conversion
// time in, two groups (planar_row_masks.h) at a time, one in each 128-bit
// lane, so the SSSE3 form's in-lane shuffles serve unchanged. A row's last
// group, if any, goes to the SSSE3 form.
#include <immintrin.h>

#include "image/planar_rows.h"
#include "image/x86/planar_row_masks.h"

namespace quillfen {

namespace {

__m256i load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
void store(void* p, __m256i x) { _mm256_storeu_si256(static_cast<__m256i*>(p), x); }
// 16 bytes whose first and second halves go to the low halves of the two lanes.
__m256i load_halves(const void* p) {
  return _mm256_permute4x64_epi64(_mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(p))),
                                  _MM_SHUFFLE(1, 1, 0, 0));
}
// Two 16-byte vectors, one in each lane.
__m256i load_lanes(const void* low, const void* high) {
  return _mm256_loadu2_m128i(static_cast<const __m128i*>(high), static_cast<const __m128i*>(low));
}

struct Shuffles {
  explicit Shuffles(const std::array<Mask, 3>& masks)
      : vector{lanes(masks[0]), lanes(masks[1]), lanes(masks[2])} {}
  static __m256i lanes(const Mask& mask) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data())));
  }
  __m256i vector[3];
};

__m256i shuffle(__m256i x, __m256i mask) { return _mm256_shuffle_epi8(x, mask); }
__m256i either(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }

template <class Sample>
__m256i rounded_mean(__m256i a, __m256i b) {
  if constexpr (sizeof(Sample) == 1) return _mm256_avg_epu8(a, b);
  else return _mm256_avg_epu16(a, b);
}

// (a + b) >> 1: the rounding-up mean less the bit that the sum has odd.
template <class Sample>
__m256i truncated_mean(__m256i a, __m256i b) {
  const __m256i odd =
      _mm256_and_si256(_mm256_xor_si256(a, b), sizeof(Sample) == 1 ? _mm256_set1_epi8(1) : _mm256_set1_epi16(1));
  if constexpr (sizeof(Sample) == 1) return _mm256_sub_epi8(_mm256_avg_epu8(a, b), odd);
  else return _mm256_sub_epi16(_mm256_avg_epu16(a, b), odd);
}

}  // namespace

template <class Sample>
void unpack_422_row_avx2(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out) {
  constexpr int group = kGroup<Sample>;
  constexpr int step_pairs = group;  // two groups of group / 2 pairs
  const int pairs = width / 2;
  const int reach = sup ? step_pairs : step_pairs + 1;
  const Shuffles from_luma(kUnpack422Luma<Sample>);
  const Shuffles from_chroma(kUnpack422Chroma<Sample>);
  int k = 0;
  for (; k + reach <= pairs; k += step_pairs) {
    const __m256i own_u = load_halves(u + k);
    const __m256i own_v = load_halves(v + k);
    const __m256i right_u = sup ? own_u : truncated_mean<Sample>(own_u, load_halves(u + k + 1));
    const __m256i right_v = sup ? own_v : truncated_mean<Sample>(own_v, load_halves(v + k + 1));
    __m256i left, right, chroma[3];
    if constexpr (sizeof(Sample) == 1) {
      left = _mm256_unpacklo_epi8(own_u, own_v);
      right = _mm256_unpacklo_epi8(right_u, right_v);
      chroma[0] = _mm256_unpacklo_epi16(left, right);
      chroma[2] = _mm256_unpackhi_epi16(left, right);
    } else {
      left = _mm256_unpacklo_epi16(own_u, own_v);
      right = _mm256_unpacklo_epi16(right_u, right_v);
      chroma[0] = _mm256_unpacklo_epi32(left, right);
      chroma[2] = _mm256_unpackhi_epi32(left, right);
    }
    chroma[1] = _mm256_alignr_epi8(chroma[2], chroma[0], 8);
    const __m256i y = load(luma + 2 * k);
    __m256i image[3];
    for (int i = 0; i < 3; ++i)
      image[i] = either(shuffle(y, from_luma.vector[i]), shuffle(chroma[i], from_chroma.vector[i]));
    // Lane 0 holds the first group's three vectors, lane 1 the second's.
    store(out + 6 * k, _mm256_permute2x128_si256(image[0], image[1], 0x20));
    store(out + 6 * k + 2 * group, _mm256_permute2x128_si256(image[2], image[0], 0x30));
    store(out + 6 * k + 4 * group, _mm256_permute2x128_si256(image[1], image[2], 0x31));
  }
  if (k < pairs) unpack_422_row_ssse3(luma + 2 * k, u + k, v + k, sup, width - 2 * k, out + 6 * k);
}

template <class Sample>
void pack_422_chroma_row_avx2(const Sample* in, int width, Sample* u, Sample* v) {
  constexpr int group = kGroup<Sample>;
  constexpr int step_pairs = group;
  const int pairs = width / 2;
  const Shuffles left_chroma(kPackLeftChroma<Sample>);
  const Shuffles right_chroma(kPackRightChroma<Sample>);
  int k = 0;
  for (; k + step_pairs <= pairs; k += step_pairs) {
    const Sample* pixels = in + 6 * k;
    const __m256i image[3] = {load_lanes(pixels, pixels + 3 * group),
                              load_lanes(pixels + group, pixels + 4 * group),
                              load_lanes(pixels + 2 * group, pixels + 5 * group)};
    const auto gather = [&](const Shuffles& masks) {
      return either(either(shuffle(image[0], masks.vector[0]), shuffle(image[1], masks.vector[1])),
                    shuffle(image[2], masks.vector[2]));
    };
    // Each lane holds its group's U, then its V: both groups' U first.
    const __m256i mean = _mm256_permute4x64_epi64(rounded_mean<Sample>(gather(left_chroma), gather(right_chroma)),
                                                  _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + k), _mm256_castsi256_si128(mean));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + k), _mm256_extracti128_si256(mean, 1));
  }
  if (k < pairs) pack_422_chroma_row_ssse3(in + 6 * k, width - 2 * k, u + k, v + k);
}

template void unpack_422_row_avx2(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, bool, int,
                                  std::uint8_t*);
template void unpack_422_row_avx2(const std::uint16_t*, const std::uint16_t*, const std::uint16_t*, bool, int,
                                  std::uint16_t*);
template void pack_422_chroma_row_avx2(const std::uint8_t*, int, std::uint8_t*, std::uint8_t*);
template void pack_422_chroma_row_avx2(const std::uint16_t*, int, std::uint16_t*, std::uint16_t*);

}  // namespace quillfen
