// Built with SSSE3 for x86 targets, and chosen only where the CPU has it.
#include <tmmintrin.h>

#include "image/yuy2_rows.h"

namespace quillfen {

namespace {

constexpr int kPairsPerGroup = 4;
constexpr char Z = static_cast<char>(0x80);  // a shuffle index that yields a zero byte

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

// Four macropixels j = 0..3 (Yl U Yr V at 4j) become pixels 2j and 2j+1
// (Y U V at 6j and 6j+3). The right pixel's chroma is the truncated mean
// with the next macropixel, (a + b) >> 1, which is the rounding-up mean of
// _mm_avg_epu8 less the bit that the sum of a and b has odd.
void unpack_yuy2_row_ssse3(const std::uint8_t* src, bool sup, int width, std::uint8_t* out) {
  const int pairs = width / 2;
  // Interpolation reads the macropixel after the group, which the row's
  // last group lacks: that one goes to the reference.
  const int reach = sup ? kPairsPerGroup : kPairsPerGroup + 1;
  const __m128i left_from_own = _mm_setr_epi8(0, 1, 3, 2, Z, Z, 4, 5, 7, 6, Z, Z, 8, 9, 11, 10);
  const __m128i left_from_mean = _mm_setr_epi8(Z, Z, Z, Z, 1, 3, Z, Z, Z, Z, 5, 7, Z, Z, Z, Z);
  const __m128i right_from_own = _mm_setr_epi8(Z, Z, 12, 13, 15, 14, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
  const __m128i right_from_mean = _mm_setr_epi8(9, 11, Z, Z, Z, Z, 13, 15, Z, Z, Z, Z, Z, Z, Z, Z);
  const __m128i one = _mm_set1_epi8(1);
  int k = 0;
  for (; k + reach <= pairs; k += kPairsPerGroup) {
    const __m128i own = load(src + 4 * k);
    __m128i mean = own;
    if (!sup) {
      const __m128i next = load(src + 4 * k + 4);
      mean = _mm_sub_epi8(_mm_avg_epu8(own, next), _mm_and_si128(_mm_xor_si128(own, next), one));
    }
    const __m128i first = _mm_or_si128(_mm_shuffle_epi8(own, left_from_own), _mm_shuffle_epi8(mean, left_from_mean));
    const __m128i rest = _mm_or_si128(_mm_shuffle_epi8(own, right_from_own), _mm_shuffle_epi8(mean, right_from_mean));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 6 * k), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 6 * k + 16), rest);
  }
  if (k < pairs) unpack_yuy2_row_reference(src + 4 * k, sup, width - 2 * k, out + 6 * k);
}

// Pixels 2j and 2j+1 (Y U V at 6j and 6j+3, j = 0..3) become macropixel j.
// Two vectors hold, per pair, (Yl Ul Yr Vl) and (Yl Ur Yr Vr): their
// rounding-up mean _mm_avg_epu8 keeps both lumas and gives the pair's
// chroma means, (a + b + 1) >> 1.
void pack_yuy2_row_ssse3(const std::uint8_t* in, int width, std::uint8_t* dst) {
  const int pairs = width / 2;
  // The group's 24 bytes are read as bytes 0..15 and bytes 8..23.
  const __m128i left_low = _mm_setr_epi8(0, 1, 3, 2, 6, 7, 9, 8, Z, Z, Z, Z, Z, Z, Z, Z);
  const __m128i left_high = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 4, 5, 7, 6, 10, 11, 13, 12);
  const __m128i right_low = _mm_setr_epi8(0, 4, 3, 5, 6, 10, 9, 11, Z, Z, Z, Z, Z, Z, Z, Z);
  const __m128i right_high = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 4, 8, 7, 9, 10, 14, 13, 15);
  int k = 0;
  for (; k + kPairsPerGroup <= pairs; k += kPairsPerGroup) {
    const __m128i low = load(in + 6 * k);
    const __m128i high = load(in + 6 * k + 8);
    const __m128i with_left = _mm_or_si128(_mm_shuffle_epi8(low, left_low), _mm_shuffle_epi8(high, left_high));
    const __m128i with_right = _mm_or_si128(_mm_shuffle_epi8(low, right_low), _mm_shuffle_epi8(high, right_high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * k), _mm_avg_epu8(with_left, with_right));
  }
  if (k < pairs) pack_yuy2_row_reference(in + 6 * k, width - 2 * k, dst + 4 * k);
}

}  // namespace quillfen
