// Built for x86 targets, and chosen only where the CPU has SSE2.
#include <emmintrin.h>

#include "image/planar_yuy2_rows.h"

namespace {

constexpr int kPairsPerGroup = 16;

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value); }

// The even bytes of a and b, packed into one vector (a's first).
__m128i even_bytes(__m128i a, __m128i b) {
  const __m128i low_byte = _mm_set1_epi16(0x00FF);
  return _mm_packus_epi16(_mm_and_si128(a, low_byte), _mm_and_si128(b, low_byte));
}

__m128i odd_bytes(__m128i a, __m128i b) { return _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)); }

}  // namespace

void interleave_yuy2_row_sse2(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int pairs,
                              std::uint8_t* out) {
  int k = 0;
  for (; k + kPairsPerGroup <= pairs; k += kPairsPerGroup) {
    const __m128i chroma_u = load(u + k);
    const __m128i chroma_v = load(v + k);
    const __m128i uv_low = _mm_unpacklo_epi8(chroma_u, chroma_v);  // U V of pairs 0..7
    const __m128i uv_high = _mm_unpackhi_epi8(chroma_u, chroma_v);  // pairs 8..15
    const __m128i luma_low = load(y + 2 * k);
    const __m128i luma_high = load(y + 2 * k + 16);
    std::uint8_t* group = out + 4 * k;
    store(group, _mm_unpacklo_epi8(luma_low, uv_low));
    store(group + 16, _mm_unpackhi_epi8(luma_low, uv_low));
    store(group + 32, _mm_unpacklo_epi8(luma_high, uv_high));
    store(group + 48, _mm_unpackhi_epi8(luma_high, uv_high));
  }
  interleave_yuy2_row_reference(y + 2 * k, u + k, v + k, pairs - k, out + 4 * k);
}

void split_yuy2_row_sse2(const std::uint8_t* in, int pairs, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v) {
  int k = 0;
  for (; k + kPairsPerGroup <= pairs; k += kPairsPerGroup) {
    const std::uint8_t* group = in + 4 * k;
    const __m128i a = load(group), b = load(group + 16), c = load(group + 32), d = load(group + 48);
    store(y + 2 * k, even_bytes(a, b));
    store(y + 2 * k + 16, even_bytes(c, d));
    const __m128i chroma_low = odd_bytes(a, b);  // U V of pairs 0..7
    const __m128i chroma_high = odd_bytes(c, d);
    store(u + k, even_bytes(chroma_low, chroma_high));
    store(v + k, odd_bytes(chroma_low, chroma_high));
  }
  split_yuy2_row_reference(in + 4 * k, pairs - k, y + 2 * k, u + k, v + k);
}
