// Built with SSSE3 for x86 targets, and chosen only where the CPU has it.
// Each routine converts one group (planar_row_masks.h) at a time; a row's
// last samples that do not fill a group go to the reference.
#include <tmmintrin.h>

#include "image/planar_rows.h"
#include "image/x86/planar_row_masks.h"

namespace quillfen {

namespace {

__m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
__m128i load_low(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
void store(void* p, __m128i x) { _mm_storeu_si128(static_cast<__m128i*>(p), x); }
void store_low(void* p, __m128i x) { _mm_storel_epi64(static_cast<__m128i*>(p), x); }

struct Shuffles {
  explicit Shuffles(const std::array<Mask, 3>& masks)
      : vector{load(masks[0].data()), load(masks[1].data()), load(masks[2].data())} {}
  __m128i vector[3];
};

__m128i shuffle(__m128i x, __m128i mask) { return _mm_shuffle_epi8(x, mask); }
__m128i either(__m128i a, __m128i b) { return _mm_or_si128(a, b); }

// The rounding-up mean of every sample, (a + b + 1) >> 1.
template <class Sample>
__m128i rounded_mean(__m128i a, __m128i b) {
  if constexpr (sizeof(Sample) == 1) return _mm_avg_epu8(a, b);
  else return _mm_avg_epu16(a, b);
}

// The truncated mean, (a + b) >> 1: the rounding-up mean less the bit that
// the sum has odd.
template <class Sample>
__m128i truncated_mean(__m128i a, __m128i b) {
  const __m128i odd = _mm_and_si128(_mm_xor_si128(a, b), sizeof(Sample) == 1 ? _mm_set1_epi8(1) : _mm_set1_epi16(1));
  if constexpr (sizeof(Sample) == 1) return _mm_sub_epi8(_mm_avg_epu8(a, b), odd);
  else return _mm_sub_epi16(_mm_avg_epu16(a, b), odd);
}

// Samples of the low halves of a and b, alternately: a0 b0 a1 b1 ...
template <class Sample>
__m128i interleave_samples(__m128i a, __m128i b) {
  if constexpr (sizeof(Sample) == 1) return _mm_unpacklo_epi8(a, b);
  else return _mm_unpacklo_epi16(a, b);
}

}  // namespace

// Per pair, the left pixel's chroma is the pair's own and the right pixel's
// the truncated mean with the next pair's, which the row's last pair lacks:
// interpolation leaves the group holding that pair to the reference.
template <class Sample>
void unpack_422_row_ssse3(const Sample* luma, const Sample* u, const Sample* v, bool sup, int width, Sample* out) {
  constexpr int group = kGroup<Sample>;
  constexpr int group_pairs = group / 2;
  const int pairs = width / 2;
  const int reach = sup ? group_pairs : group_pairs + 1;
  const Shuffles from_luma(kUnpack422Luma<Sample>);
  const Shuffles from_chroma(kUnpack422Chroma<Sample>);
  int k = 0;
  for (; k + reach <= pairs; k += group_pairs) {
    const __m128i own_u = load_low(u + k);
    const __m128i own_v = load_low(v + k);
    const __m128i right_u = sup ? own_u : truncated_mean<Sample>(own_u, load_low(u + k + 1));
    const __m128i right_v = sup ? own_v : truncated_mean<Sample>(own_v, load_low(v + k + 1));
    const __m128i left = interleave_samples<Sample>(own_u, own_v);
    const __m128i right = interleave_samples<Sample>(right_u, right_v);
    // Each pixel's U and V, for the first and the second half of the group's
    // pixels, and for the half between them.
    __m128i chroma[3];
    if constexpr (sizeof(Sample) == 1) {
      chroma[0] = _mm_unpacklo_epi16(left, right);
      chroma[2] = _mm_unpackhi_epi16(left, right);
    } else {
      chroma[0] = _mm_unpacklo_epi32(left, right);
      chroma[2] = _mm_unpackhi_epi32(left, right);
    }
    chroma[1] = _mm_alignr_epi8(chroma[2], chroma[0], 8);
    const __m128i y = load(luma + 2 * k);
    for (int i = 0; i < 3; ++i)
      store(out + 6 * k + i * group,
            either(shuffle(y, from_luma.vector[i]), shuffle(chroma[i], from_chroma.vector[i])));
  }
  if (k < pairs) unpack_422_row_reference(luma + 2 * k, u + k, v + k, sup, width - 2 * k, out + 6 * k);
}

// The pairs' chroma gathered once from their left pixels and once from
// their right ones; the rounding-up mean of the two is the pair's chroma.
template <class Sample>
void pack_422_chroma_row_ssse3(const Sample* in, int width, Sample* u, Sample* v) {
  constexpr int group = kGroup<Sample>;
  constexpr int group_pairs = group / 2;
  const int pairs = width / 2;
  const Shuffles left_chroma(kPackLeftChroma<Sample>);
  const Shuffles right_chroma(kPackRightChroma<Sample>);
  int k = 0;
  for (; k + group_pairs <= pairs; k += group_pairs) {
    const Sample* pixels = in + 6 * k;
    const __m128i image[3] = {load(pixels), load(pixels + group), load(pixels + 2 * group)};
    const auto gather = [&](const Shuffles& masks) {
      return either(either(shuffle(image[0], masks.vector[0]), shuffle(image[1], masks.vector[1])),
                    shuffle(image[2], masks.vector[2]));
    };
    const __m128i mean = rounded_mean<Sample>(gather(left_chroma), gather(right_chroma));
    store_low(u + k, mean);
    store_low(v + k, _mm_srli_si128(mean, 8));
  }
  if (k < pairs) pack_422_chroma_row_reference(in + 6 * k, width - 2 * k, u + k, v + k);
}

// (3 * nearer + farther + 2) >> 2 in lanes twice as wide as a sample.
template <class Sample>
void interpolate_420_chroma_row_ssse3(const Sample* nearer, const Sample* farther, int count, Sample* out) {
  constexpr int group = kGroup<Sample>;
  const __m128i zero = _mm_setzero_si128();
  const auto wide_sum = [](__m128i n, __m128i f) {
    if constexpr (sizeof(Sample) == 1) {
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(n, _mm_add_epi16(n, n)), _mm_add_epi16(f, _mm_set1_epi16(2)));
      return _mm_srli_epi16(sum, 2);
    } else {
      const __m128i sum = _mm_add_epi32(_mm_add_epi32(n, _mm_add_epi32(n, n)), _mm_add_epi32(f, _mm_set1_epi32(2)));
      return _mm_srli_epi32(sum, 2);
    }
  };
  // The low 16 bits of each 32-bit result, into the low or the high half.
  static constexpr Mask kLowWords = shuffle_mask([](int b) { return b < 8 ? b / 2 * 4 + b % 2 : -1; });
  static constexpr Mask kHighWords = shuffle_mask([](int b) { return b < 8 ? -1 : (b - 8) / 2 * 4 + b % 2; });
  int x = 0;
  for (; x + group <= count; x += group) {
    const __m128i n = load(nearer + x);
    const __m128i f = load(farther + x);
    if constexpr (sizeof(Sample) == 1) {
      const __m128i low = wide_sum(_mm_unpacklo_epi8(n, zero), _mm_unpacklo_epi8(f, zero));
      const __m128i high = wide_sum(_mm_unpackhi_epi8(n, zero), _mm_unpackhi_epi8(f, zero));
      store(out + x, _mm_packus_epi16(low, high));
    } else {
      const __m128i low = wide_sum(_mm_unpacklo_epi16(n, zero), _mm_unpacklo_epi16(f, zero));
      const __m128i high = wide_sum(_mm_unpackhi_epi16(n, zero), _mm_unpackhi_epi16(f, zero));
      store(out + x, either(shuffle(low, load(kLowWords.data())), shuffle(high, load(kHighWords.data()))));
    }
  }
  if (x < count) interpolate_420_chroma_row_reference(nearer + x, farther + x, count - x, out + x);
}

template <class Sample>
void average_420_chroma_row_ssse3(const Sample* upper, const Sample* lower, int count, Sample* out) {
  constexpr int group = kGroup<Sample>;
  int x = 0;
  for (; x + group <= count; x += group) store(out + x, rounded_mean<Sample>(load(upper + x), load(lower + x)));
  if (x < count) average_420_chroma_row_reference(upper + x, lower + x, count - x, out + x);
}

template <class Sample>
void unpack_444_row_ssse3(const Sample* luma, const Sample* u, const Sample* v, int width, Sample* out) {
  constexpr int group = kGroup<Sample>;
  const Shuffles from_y(kUnpack444<Sample>[0]);
  const Shuffles from_u(kUnpack444<Sample>[1]);
  const Shuffles from_v(kUnpack444<Sample>[2]);
  int x = 0;
  for (; x + group <= width; x += group) {
    const __m128i y_samples = load(luma + x);
    const __m128i u_samples = load(u + x);
    const __m128i v_samples = load(v + x);
    for (int i = 0; i < 3; ++i)
      store(out + 3 * x + i * group,
            either(either(shuffle(y_samples, from_y.vector[i]), shuffle(u_samples, from_u.vector[i])),
                   shuffle(v_samples, from_v.vector[i])));
  }
  if (x < width) unpack_444_row_reference(luma + x, u + x, v + x, width - x, out + 3 * x);
}

template <class Sample>
void pack_444_chroma_row_ssse3(const Sample* in, int width, Sample* u, Sample* v) {
  constexpr int group = kGroup<Sample>;
  const Shuffles to_u(kPack444U<Sample>);
  const Shuffles to_v(kPack444V<Sample>);
  int x = 0;
  for (; x + group <= width; x += group) {
    const Sample* pixels = in + 3 * x;
    const __m128i image[3] = {load(pixels), load(pixels + group), load(pixels + 2 * group)};
    const auto gather = [&](const Shuffles& masks) {
      return either(either(shuffle(image[0], masks.vector[0]), shuffle(image[1], masks.vector[1])),
                    shuffle(image[2], masks.vector[2]));
    };
    store(u + x, gather(to_u));
    store(v + x, gather(to_v));
  }
  if (x < width) pack_444_chroma_row_reference(in + 3 * x, width - x, u + x, v + x);
}

#define QUILLFEN_PLANAR_ROWS_SSSE3(Sample)                                                              \
  template void unpack_422_row_ssse3(const Sample*, const Sample*, const Sample*, bool, int, Sample*);   \
  template void pack_422_chroma_row_ssse3(const Sample*, int, Sample*, Sample*);                         \
  template void interpolate_420_chroma_row_ssse3(const Sample*, const Sample*, int, Sample*);            \
  template void average_420_chroma_row_ssse3(const Sample*, const Sample*, int, Sample*);                \
  template void unpack_444_row_ssse3(const Sample*, const Sample*, const Sample*, int, Sample*);         \
  template void pack_444_chroma_row_ssse3(const Sample*, int, Sample*, Sample*);
QUILLFEN_PLANAR_ROWS_SSSE3(std::uint8_t)
QUILLFEN_PLANAR_ROWS_SSSE3(std::uint16_t)

}  // namespace quillfen
