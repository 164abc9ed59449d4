// Arithmetic on Advanced SIMD registers of two doubles, as avx2_doubles.h
// gives it for AVX2. Only for aarch64 targets, where these instructions and
// the fused multiply-add are always present; the fused multiply-add is
// called explicitly, nothing else is fused.
#pragma once

#include <arm_neon.h>

namespace quillfen {

struct NeonDoubles {
  static constexpr int kLanes = 2;
  using D = float64x2_t;

  static D load(const double* p) { return vld1q_f64(p); }
  static void store(double* p, D a) { vst1q_f64(p, a); }
  static D set1(double value) { return vdupq_n_f64(value); }
  static D add(D a, D b) { return vaddq_f64(a, b); }
  static D sub(D a, D b) { return vsubq_f64(a, b); }
  static D mul(D a, D b) { return vmulq_f64(a, b); }
  static D abs(D a) { return vabsq_f64(a); }
  // RN(a * b + c) and RN(c - a * b), each rounded once.
  static D fmadd(D a, D b, D c) { return vfmaq_f64(c, a, b); }
  static D fnmadd(D a, D b, D c) { return vfmsq_f64(c, a, b); }
};

}  // namespace quillfen
