// The lane operations of the exact Gaussian power (exact_gaussian_power.h) on
// AVX2 registers, four exponents at once. Only for files compiled with AVX2
// and FMA; the fused multiply-add is called explicitly.
#pragma once

#include <immintrin.h>

#include "propagation/exp2_fraction_table.h"
#include "propagation/x86/avx2_doubles.h"

struct Avx2ExactPowerOps : Avx2Doubles {
  using Mask = __m256d;  // all bits set in a chosen lane
  static Mask less_equal(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static Mask not_equal(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_OQ); }
  static Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
  static D binade(D x) {
    return _mm256_and_pd(x, _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(0xFFF0000000000000u))));
  }
  static D select(Mask m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
  static void exp2_fraction(D shifted, D& hi, D& lo) {
    const __m256i entry = _mm256_and_si256(_mm256_castpd_si256(shifted), _mm256_set1_epi64x(kExp2Fractions - 1));
    const __m256i index = _mm256_slli_epi64(entry, 1);  // two doubles per entry
    hi = _mm256_i64gather_pd(&kExp2FractionTable[0].hi, index, 8);
    lo = _mm256_i64gather_pd(&kExp2FractionTable[0].lo, index, 8);
  }
  static D scale_by_exponent(D x, D shifted) {
    const __m256i scale = _mm256_slli_epi64(_mm256_srli_epi64(_mm256_castpd_si256(shifted), kExp2FractionBits), 52);
    return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(x), scale));
  }
};
