// Arithmetic on AVX-512 registers of eight doubles, the part that the pass
// kernel's lanes and the exact Gaussian power's lanes have in common. Only
// for files compiled with AVX-512 (F, DQ, VL); the fused multiply-add is
// called explicitly, nothing else is fused.
#pragma once

#include <immintrin.h>

namespace quillfen {

struct Avx512Doubles {
  static constexpr int kLanes = 8;
  using D = __m512d;

  static D load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, D a) { _mm512_storeu_pd(p, a); }
  static D set1(double value) { return _mm512_set1_pd(value); }
  static D add(D a, D b) { return _mm512_add_pd(a, b); }
  static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
  static D abs(D a) { return _mm512_abs_pd(a); }
  static D fmadd(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
  static D fnmadd(D a, D b, D c) { return _mm512_fnmadd_pd(a, b, c); }
  // x times 2^k, k the whole number that `shifted` = 1.5 * 2^52 + k holds
  // in its low bits; exact while the result stays normal.
  static D add_to_exponent(D x, D shifted) {
    return _mm512_castsi512_pd(
        _mm512_maskz_add_epi64(0xFF, _mm512_castpd_si512(x),
                               _mm512_maskz_slli_epi64(0xFF, _mm512_castpd_si512(shifted), 52)));
  }
};

}  // namespace quillfen
