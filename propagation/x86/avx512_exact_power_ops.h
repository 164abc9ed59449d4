// The lane operations of the exact Gaussian power (exact_gaussian_power.h) on
// AVX-512 registers, eight exponents at once. Only for files compiled with
// AVX-512 (F, DQ, VL); the fused multiply-add is called explicitly.
#pragma once

#include <immintrin.h>

#include "propagation/exp2_fraction_table.h"
#include "propagation/x86/avx512_doubles.h"

struct Avx512ExactPowerOps : Avx512Doubles {
  using Mask = __mmask8;
  // Masked forms with every lane set stand in for some plain ones: GCC 12
  // warns spuriously about the plain ones.
  static Mask less_equal(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  static Mask not_equal(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_OQ); }
  static Mask both(Mask a, Mask b) { return a & b; }
  static D binade(D x) {
    return _mm512_and_pd(x, _mm512_castsi512_pd(_mm512_set1_epi64(static_cast<long long>(0xFFF0000000000000u))));
  }
  static D select(Mask m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
  static void exp2_fraction(D shifted, D& hi, D& lo) {
    const __m512i entry =
        _mm512_maskz_and_epi64(0xFF, _mm512_castpd_si512(shifted), _mm512_set1_epi64(kExp2Fractions - 1));
    const __m512i index = _mm512_maskz_slli_epi64(0xFF, entry, 1);  // two doubles per entry
    hi = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, index, &kExp2FractionTable[0].hi, 8);
    lo = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, index, &kExp2FractionTable[0].lo, 8);
  }
  static D scale_by_exponent(D x, D shifted) {
    const __m512i scale = _mm512_maskz_slli_epi64(
        0xFF, _mm512_maskz_srli_epi64(0xFF, _mm512_castpd_si512(shifted), kExp2FractionBits), 52);
    return _mm512_castsi512_pd(_mm512_maskz_add_epi64(0xFF, _mm512_castpd_si512(x), scale));
  }
};
