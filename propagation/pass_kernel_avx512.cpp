// The vector kernel body on AVX-512 registers, eight centres per register,
// two registers per operation.
#include <immintrin.h>

#include "propagation/lane_kernel.h"
#include "propagation/paired_lanes.h"
#include "propagation/pass_kernels.h"

namespace {

struct Avx512Lanes {
  static constexpr int kLanes = 8;
  using D = __m512d;

  static D load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, D a) { _mm512_storeu_pd(p, a); }
  static D set1(double value) { return _mm512_set1_pd(value); }
  static D add(D a, D b) { return _mm512_add_pd(a, b); }
  static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
  static D div(D a, D b) { return _mm512_div_pd(a, b); }
  // The masked forms, all lanes set, avoid a spurious GCC 12 warning.
  static D min(D a, D b) { return _mm512_mask_min_pd(a, 0xFF, a, b); }
  static D max(D a, D b) { return _mm512_mask_max_pd(a, 0xFF, a, b); }
  // table[index] per lane; the indices are small non-negative integers.
  static D gather(const double* table, D index) {
    const __m256i lanes = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xFF, index);
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, lanes, table, sizeof(double));
  }
  // x - x is 0 exactly for finite x and NaN otherwise.
  static bool all_finite(D a) {
    return _mm512_cmp_pd_mask(_mm512_sub_pd(a, a), _mm512_setzero_pd(), _CMP_EQ_OQ) == 0xFF;
  }
  static D select_if_equal(D a, D b, D if_equal, D otherwise) {
    return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ), otherwise, if_equal);
  }
};

}  // namespace

int propagation_pass_avx512(const PassSettings& settings, const BYTE* current, BYTE* next) {
  return lane_pass<PairedLanes<Avx512Lanes>>(settings, current, next);
}
