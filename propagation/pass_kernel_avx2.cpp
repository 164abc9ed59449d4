// The vector kernel body on AVX2 registers, four centres per register, two
// registers per operation.
// Compiled with -mavx2 only (no FMA): every operation stays a separate IEEE
// operation, as -ffp-contract=off also demands.
#include <immintrin.h>

#include "propagation/lane_kernel.h"
#include "propagation/paired_lanes.h"
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
  static D min(D a, D b) { return _mm256_min_pd(a, b); }
  static D max(D a, D b) { return _mm256_max_pd(a, b); }
  // table[index] per lane; the indices are small non-negative integers.
  static D gather(const double* table, D index) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, _mm256_cvttpd_epi32(index), all, sizeof(double));
  }
  // x - x is 0 exactly for finite x and NaN otherwise.
  static bool all_finite(D a) {
    return _mm256_movemask_pd(_mm256_cmp_pd(_mm256_sub_pd(a, a), _mm256_setzero_pd(), _CMP_EQ_OQ)) == 0xF;
  }
  static D select_if_equal(D a, D b, D if_equal, D otherwise) {
    return _mm256_blendv_pd(otherwise, if_equal, _mm256_cmp_pd(a, b, _CMP_EQ_OQ));
  }
};

}  // namespace

int propagation_pass_avx2(const PassSettings& settings, const BYTE* current, BYTE* next) {
  return lane_pass<PairedLanes<Avx2Lanes>>(settings, current, next);
}
