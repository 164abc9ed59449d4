// Arithmetic on AVX2 registers of four doubles, the part that the pass
// kernel's lanes and the exact Gaussian power's lanes have in common. Only
// for files compiled with AVX2 and FMA; the fused multiply-add is called
// explicitly, nothing else is fused.
#pragma once

#include <immintrin.h>

namespace quillfen {

struct Avx2Doubles {
  static constexpr int kLanes = 4;
  using D = __m256d;

  static D load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, D a) { _mm256_storeu_pd(p, a); }
  static D set1(double value) { return _mm256_set1_pd(value); }
  static D add(D a, D b) { return _mm256_add_pd(a, b); }
  static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
  static D abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static D fmadd(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
  static D fnmadd(D a, D b, D c) { return _mm256_fnmadd_pd(a, b, c); }
  // x times 2^k, k the whole number that `shifted` = 1.5 * 2^52 + k holds
  // in its low bits; exact while the result stays normal.
  static D add_to_exponent(D x, D shifted) {
    return _mm256_castsi256_pd(
        _mm256_add_epi64(_mm256_castpd_si256(x), _mm256_slli_epi64(_mm256_castpd_si256(shifted), 52)));
  }
};

}  // namespace quillfen
