// The lane operations of the exact Gaussian power (exact_gaussian_power.h) on
// AVX-512 registers, eight exponents at once. Only for files compiled with
// AVX-512 (F, DQ, VL); the fused multiply-add is called explicitly.
#pragma once

#include <immintrin.h>

#include "propagation/exp2_fraction_table.h"

struct Avx512ExactPowerOps {
  static constexpr int kLanes = 8;
  using D = __m512d;
  using Mask = __mmask8;
  // Masked forms with every lane set stand in for some plain ones: GCC 12
  // warns spuriously about the plain ones.
  static D load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, D a) { _mm512_storeu_pd(p, a); }
  static D set1(double value) { return _mm512_set1_pd(value); }
  static D add(D a, D b) { return _mm512_add_pd(a, b); }
  static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
  static D abs(D a) { return _mm512_abs_pd(a); }
  static D fmadd(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
  static D fmsub(D a, D b, D c) { return _mm512_fmsub_pd(a, b, c); }
  static D fnmadd(D a, D b, D c) { return _mm512_fnmadd_pd(a, b, c); }
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
