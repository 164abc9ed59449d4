// The lane operations of the exact Gaussian power (exact_gaussian_power.h) on
// AVX2 registers, four exponents at once. Only for files compiled with AVX2
// and FMA; the fused multiply-add is called explicitly.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "propagation/exp2_fraction_table.h"
#include "propagation/x86/avx2_doubles.h"

namespace quillfen {

// For each set of lanes of four (bit i for lane i), the byte shuffle that
// moves those 32-bit lanes, in order, to the front.
struct Avx2PackLanes {
  alignas(16) std::uint8_t bytes[16][16];
};

constexpr Avx2PackLanes make_avx2_pack_lanes() {
  Avx2PackLanes table{};
  for (int set = 0; set < 16; ++set) {
    int to = 0;
    for (int lane = 0; lane < 4; ++lane)
      if (set >> lane & 1) {
        for (int b = 0; b < 4; ++b) table.bytes[set][4 * to + b] = static_cast<std::uint8_t>(4 * lane + b);
        ++to;
      }
    for (int b = 4 * to; b < 16; ++b) table.bytes[set][b] = 0x80;  // a zero byte
  }
  return table;
}

inline constexpr Avx2PackLanes kAvx2PackLanes = make_avx2_pack_lanes();

struct Avx2ExactPowerOps : Avx2Doubles {
  static constexpr bool kFused = true;
  using Mask = __m256d;  // all bits set in a chosen lane
  static Mask less_equal(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static Mask less(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
  static Mask either(Mask a, Mask b) { return _mm256_or_pd(a, b); }
  // Four 16-byte loads of the table's pairs, not two gathers, which cost
  // several times as much here. The pairs' byte offsets are made in the
  // register and read back from memory: the compiler would otherwise take
  // them out lane by lane with shuffles that compete with the arithmetic.
  static void exp2_fraction(D shifted, D& hi, D& rho) {
    alignas(32) std::uint64_t offsets[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(offsets),
                       _mm256_slli_epi64(_mm256_and_si256(_mm256_castpd_si256(shifted),
                                                          _mm256_set1_epi64x(kExp2Fractions - 1)),
                                         4));
    asm("" : "+m"(offsets));
    static_assert(sizeof(Exp2Fraction) == 16);
    const auto* table = reinterpret_cast<const char*>(kExp2FractionTable.entry);
    const auto pair = [&](int i) { return _mm_load_pd(reinterpret_cast<const double*>(table + offsets[i])); };
    const __m256d even = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(0)), pair(2), 1);
    const __m256d odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(1)), pair(3), 1);
    hi = _mm256_unpacklo_pd(even, odd);
    rho = _mm256_unpackhi_pd(even, odd);
  }
  static D scale_by_exponent(D x, D shifted) {
    const __m256i scale = _mm256_slli_epi64(_mm256_srli_epi64(_mm256_castpd_si256(shifted), kExp2FractionBits), 52);
    return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(x), scale));
  }
  static int undecided_lanes(Mask decided, std::uint32_t first, std::uint32_t* list) {
    const int undecided = _mm256_movemask_pd(decided) ^ 0xF;
    const __m128i lanes = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(first)), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i packed = _mm_shuffle_epi8(
        lanes, _mm_load_si128(reinterpret_cast<const __m128i*>(kAvx2PackLanes.bytes[undecided])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(list), packed);
    return __builtin_popcount(static_cast<unsigned>(undecided));
  }
};

}  // namespace quillfen
