// The vector kernel body on AVX2 registers, four centres per register.
// Compiled with -mavx2 only (no FMA): every operation stays a separate IEEE
// operation, as -ffp-contract=off also demands.
#include <immintrin.h>

#include "propagation/lane_kernel.h"
#include "propagation/pass_kernels.h"

namespace {

struct Avx2Lanes {
  static constexpr int kLanes = 4;
  using D = __m256d;

  static D load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, D a) { _mm256_storeu_pd(p, a); }
  static D set1(double value) { return _mm256_set1_pd(value); }
  static D add(D a, D b) { return _mm256_add_pd(a, b); }
  static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
  static D div(D a, D b) { return _mm256_div_pd(a, b); }
  static D select_if_equal(D a, D b, D if_equal, D otherwise) {
    return _mm256_blendv_pd(otherwise, if_equal, _mm256_cmp_pd(a, b, _CMP_EQ_OQ));
  }
};

}  // namespace

int propagation_pass_avx2(const PassSettings& settings, const BYTE* current, BYTE* next) {
  return lane_pass<Avx2Lanes>(settings, current, next);
}
