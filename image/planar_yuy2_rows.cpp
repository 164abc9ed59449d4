#include "server/planar_yuy2_rows.h"

#include <emmintrin.h>

namespace {

constexpr int kPairsPerGroup = 16;

__m128i load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(BYTE* p, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value); }

// The even bytes of a and b, packed into one vector (a's first).
__m128i even_bytes(__m128i a, __m128i b) {
  const __m128i low_byte = _mm_set1_epi16(0x00FF);
  return _mm_packus_epi16(_mm_and_si128(a, low_byte), _mm_and_si128(b, low_byte));
}

__m128i odd_bytes(__m128i a, __m128i b) { return _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)); }

}  // namespace

void interleave_yuy2_row_plain(const BYTE* y, const BYTE* u, const BYTE* v, int pairs, BYTE* out) {
  for (int pair = 0; pair < pairs; ++pair) {
    out[4 * pair + 0] = y[2 * pair];
    out[4 * pair + 1] = u[pair];
    out[4 * pair + 2] = y[2 * pair + 1];
    out[4 * pair + 3] = v[pair];
  }
}

void split_yuy2_row_plain(const BYTE* in, int pairs, BYTE* y, BYTE* u, BYTE* v) {
  for (int pair = 0; pair < pairs; ++pair) {
    y[2 * pair] = in[4 * pair + 0];
    u[pair] = in[4 * pair + 1];
    y[2 * pair + 1] = in[4 * pair + 2];
    v[pair] = in[4 * pair + 3];
  }
}

void interleave_yuy2_row(const BYTE* y, const BYTE* u, const BYTE* v, int pairs, BYTE* out) {
  int k = 0;
  for (; k + kPairsPerGroup <= pairs; k += kPairsPerGroup) {
    const __m128i chroma_u = load(u + k);
    const __m128i chroma_v = load(v + k);
    const __m128i uv_low = _mm_unpacklo_epi8(chroma_u, chroma_v);  // U V of pairs 0..7
    const __m128i uv_high = _mm_unpackhi_epi8(chroma_u, chroma_v);  // pairs 8..15
    const __m128i luma_low = load(y + 2 * k);
    const __m128i luma_high = load(y + 2 * k + 16);
    BYTE* group = out + 4 * k;
    store(group, _mm_unpacklo_epi8(luma_low, uv_low));
    store(group + 16, _mm_unpackhi_epi8(luma_low, uv_low));
    store(group + 32, _mm_unpacklo_epi8(luma_high, uv_high));
    store(group + 48, _mm_unpackhi_epi8(luma_high, uv_high));
  }
  interleave_yuy2_row_plain(y + 2 * k, u + k, v + k, pairs - k, out + 4 * k);
}

void split_yuy2_row(const BYTE* in, int pairs, BYTE* y, BYTE* u, BYTE* v) {
  int k = 0;
  for (; k + kPairsPerGroup <= pairs; k += kPairsPerGroup) {
    const BYTE* group = in + 4 * k;
    const __m128i a = load(group), b = load(group + 16), c = load(group + 32), d = load(group + 48);
    store(y + 2 * k, even_bytes(a, b));
    store(y + 2 * k + 16, even_bytes(c, d));
    const __m128i chroma_low = odd_bytes(a, b);  // U V of pairs 0..7
    const __m128i chroma_high = odd_bytes(c, d);
    store(u + k, even_bytes(chroma_low, chroma_high));
    store(v + k, odd_bytes(chroma_low, chroma_high));
  }
  split_yuy2_row_plain(in + 4 * k, pairs - k, y + 2 * k, u + k, v + k);
}
