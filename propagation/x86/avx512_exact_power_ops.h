// The lane operations of the exact Gaussian power (exact_gaussian_power.h) on
// AVX-512 registers, eight exponents at once. Only for files compiled with
// AVX-512 (F, DQ, VL); the fused multiply-add is called explicitly.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "propagation/exp2_fraction_table.h"
#include "propagation/x86/avx512_doubles.h"

namespace quillfen {

struct Avx512ExactPowerOps : Avx512Doubles {
  static constexpr bool kFused = true;
  using Mask = __mmask8;
  // Masked forms with every lane set stand in for some plain ones: GCC 12
  // warns spuriously about the plain ones.
  static Mask less_equal(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  static Mask less(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static Mask both(Mask a, Mask b) { return a & b; }
  static Mask either(Mask a, Mask b) { return a | b; }
  // Eight 16-byte loads of the table's pairs, not two gathers, which cost
  // several times as much here. The pairs' byte offsets are made in the
  // register and read back from memory (two 256-bit stores, as a 512-bit
  // one stalls the narrower reads): the compiler would otherwise take them
  // out lane by lane with shuffles that compete with the arithmetic.
  static void exp2_fraction(D shifted, D& hi, D& rho) {
    alignas(64) std::uint64_t offsets[8];
    const __m512i offset = _mm512_maskz_slli_epi64(
        0xFF, _mm512_maskz_and_epi64(0xFF, _mm512_castpd_si512(shifted), _mm512_set1_epi64(kExp2Fractions - 1)), 4);
    _mm256_store_si256(reinterpret_cast<__m256i*>(offsets), _mm512_maskz_extracti64x4_epi64(0xF, offset, 0));
    _mm256_store_si256(reinterpret_cast<__m256i*>(offsets + 4), _mm512_maskz_extracti64x4_epi64(0xF, offset, 1));
    asm("" : "+m"(offsets));
    static_assert(sizeof(Exp2Fraction) == 16);
    const auto* table = reinterpret_cast<const char*>(kExp2FractionTable.entry);
    const auto pair = [&](int i) { return _mm_load_pd(reinterpret_cast<const double*>(table + offsets[i])); };
    const auto pairs = [&pair](int i, int j) {
      return _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(i)), pair(j), 1);
    };
    // Lanes 0, 2, 4, 6 and 1, 3, 5, 7, so that each 128-bit unpack pairs
    // neighbours.
    const __m512d even = _mm512_maskz_insertf64x4(0xFF, _mm512_castpd256_pd512(pairs(0, 2)), pairs(4, 6), 1);
    const __m512d odd = _mm512_maskz_insertf64x4(0xFF, _mm512_castpd256_pd512(pairs(1, 3)), pairs(5, 7), 1);
    hi = _mm512_maskz_unpacklo_pd(0xFF, even, odd);
    rho = _mm512_maskz_unpackhi_pd(0xFF, even, odd);
  }
  static D scale_by_exponent(D x, D shifted) {
    const __m512i scale = _mm512_maskz_slli_epi64(
        0xFF, _mm512_maskz_srli_epi64(0xFF, _mm512_castpd_si512(shifted), kExp2FractionBits), 52);
    return _mm512_castsi512_pd(_mm512_maskz_add_epi64(0xFF, _mm512_castpd_si512(x), scale));
  }
  static int undecided_lanes(Mask decided, std::uint32_t first, std::uint32_t* list) {
    const Mask undecided = static_cast<Mask>(~decided);
    const __m256i lanes =
        _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(first)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(list), _mm256_maskz_compress_epi32(undecided, lanes));
    return __builtin_popcount(undecided);
  }
};

}  // namespace quillfen
