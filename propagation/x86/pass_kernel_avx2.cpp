// The vector kernel body on AVX2 registers, four centres per register, two
// registers per operation. Compiled with -mavx2 -mfma; it runs only where
// the CPU has both. Quotients come from one reciprocal per divisor and
// explicit fused multiply-adds (exact_quotient.h); nothing else is fused.
#include <immintrin.h>

#include <cstdint>

#include "propagation/bounded_gaussian_power.h"
#include "propagation/exact_gaussian_power.h"
#include "propagation/exact_quotient.h"
#include "propagation/float_lane_kernel.h"
#include "propagation/lane_kernel.h"
#include "propagation/paired_lanes.h"
#include "propagation/pass_kernels.h"
#include "propagation/pass_workspace.h"
#include "propagation/x86/avx2_doubles.h"
#include "propagation/x86/avx2_exact_power_ops.h"

namespace quillfen {

namespace {

struct Avx2Lanes : Avx2Doubles {
  static D div(D a, D b) { return _mm256_div_pd(a, b); }
  static D min(D a, D b) { return _mm256_min_pd(a, b); }
  static D max(D a, D b) { return _mm256_max_pd(a, b); }
  static D truncate(D a) { return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
  static D at_least(D a, D b) { return _mm256_and_pd(_mm256_cmp_pd(a, b, _CMP_GE_OQ), _mm256_set1_pd(1.0)); }
  // x - x is 0 exactly for finite x and NaN otherwise.
  static bool all_finite(D a) {
    return _mm256_movemask_pd(_mm256_cmp_pd(_mm256_sub_pd(a, a), _mm256_setzero_pd(), _CMP_EQ_OQ)) == 0xF;
  }
  // NaN is not zero.
  static bool all_zero(D a) { return _mm256_movemask_pd(_mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_NEQ_UQ)) == 0; }
  static D bounded_gaussian_power(D q) { return quillfen::bounded_gaussian_power<Avx2Lanes>(q); }

  using Range = __m256i;
  static Range range_load(const std::uint64_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void range_store(std::uint64_t* p, Range a) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a); }
  static Range range_set1(std::uint64_t word) { return _mm256_set1_epi64x(static_cast<long long>(word)); }
  template <class Sample>
  static Range range_min(Range a, Range b) {
    if constexpr (sizeof(Sample) == 1)
      return _mm256_min_epu8(a, b);
    else
      return _mm256_min_epu16(a, b);
  }
  // The field in the low mantissa bits of 2^52, which then subtracts away
  // exactly.
  template <class Sample, int kField>
  static D range_field(Range a) {
    using Words = ChromaRangeWords<Sample>;
    const __m256i field = _mm256_and_si256(_mm256_srli_epi64(a, Words::kFieldBits * kField),
                                           _mm256_set1_epi64x(static_cast<long long>(Words::kFieldMask)));
    const D two_52 = _mm256_set1_pd(4503599627370496.0);
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(field), two_52), two_52);
  }

  // A zero divisor gets a zero reciprocal, which makes every quotient a
  // zero.
  struct Divisor {
    D value;
    D reciprocal;
  };
  static Divisor divisor(D b) {
    const D nonzero = _mm256_cmp_pd(b, _mm256_setzero_pd(), _CMP_NEQ_OQ);
    return {b, _mm256_and_pd(nonzero, _mm256_div_pd(_mm256_set1_pd(1.0), b))};
  }
  static D divide(D a, const Divisor& b) { return exact_quotient<Avx2Lanes>(a, b.value, b.reciprocal); }

  // Bit i for lane i.
  using LaneMask = unsigned;
  static constexpr LaneMask kAllLanes = 0xF;
  // Every lookup is served on the spot: nothing is left missing.
  struct Misses {};
  static D memo_weights(D exponent, LaneMask lanes, GaussianWeightCache& cache, Misses&) {
    alignas(32) double lane[kLanes];
    _mm256_store_pd(lane, exponent);
    for (int i = 0; i < kLanes; ++i) lane[i] = lanes >> i & 1 ? cache.weight(lane[i]) : 0.0;
    return _mm256_load_pd(lane);
  }
  static void serve_misses(D&, D, Misses, GaussianWeightCache&) {}

  // Bit k of word w of a lane's set is difference 64 * w + k. A shift by
  // 64 or more, or by a negative count, gives 0, so each word keeps only
  // its own differences. mark fills word 0 alone and gathers the bits of
  // every difference in `counts`, where one of 64 and up shows above the
  // low six bits.
  struct Marks {
    __m256i word[kMarkWords];
    __m256i counts;
  };
  static Marks no_marks() {
    Marks marks;
    for (__m256i& word : marks.word) word = _mm256_setzero_si256();
    marks.counts = _mm256_setzero_si256();
    return marks;
  }
  static __m256i mark_counts(D difference) { return _mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(difference)); }
  static void mark(Marks& marks, D difference) {
    const __m256i count = mark_counts(difference);
    marks.word[0] = _mm256_or_si256(marks.word[0], _mm256_sllv_epi64(_mm256_set1_epi64x(1), count));
    marks.counts = _mm256_or_si256(marks.counts, count);
  }
  static bool needs_wide(const Marks& marks) {
    return !_mm256_testz_si256(marks.counts, _mm256_set1_epi64x(~std::int64_t{kNarrowDifferences - 1}));
  }
  // Every word starts empty: there is nothing to prepare.
  static void open_wide(Marks&) {}
  static void mark_wide(Marks& marks, D difference) {
    const __m256i count = mark_counts(difference);
    const __m256i bit = _mm256_set1_epi64x(1);
    for (int w = 1; w < kMarkWords; ++w)
      marks.word[w] = _mm256_or_si256(
          marks.word[w], _mm256_sllv_epi64(bit, _mm256_sub_epi64(count, _mm256_set1_epi64x(64 * w))));
  }
  // Lane by lane, the differences each lane met are listed with their
  // lane's divisor, their exponents made four at a time, and their powers
  // computed four at a time by the exact power, without an idle lane; its
  // precise form serves the few it leaves undecided (through the memo, as
  // the AVX-512 kernel serves them, this kernel measured slower). Difference 0
  // needs no power.
  // The list is padded to whole registers.
  struct WeightFillLists {
    static constexpr int kMost = (kLumaDifferences - 1) * kLanes + kLanes;
    alignas(32) double differences[kMost], divisors[kMost], reciprocals[kMost], exponents[kMost], powers[kMost];
    int places[kMost];
  };
  static void fill_weight_table(double* weights, const Marks& marks, D variance, GaussianWeightCache&,
                                WeightFillSpace& space) {
    alignas(32) std::uint64_t words[kMarkWords][kLanes];
    for (int w = 0; w < kMarkWords; ++w) _mm256_store_si256(reinterpret_cast<__m256i*>(words[w]), marks.word[w]);
    const Divisor by_exponent_divisor = gaussian_exponent_divisor<Avx2Lanes>(variance);
    alignas(32) double lane_divisor[kLanes], lane_reciprocal[kLanes];
    _mm256_store_pd(lane_divisor, by_exponent_divisor.value);
    _mm256_store_pd(lane_reciprocal, by_exponent_divisor.reciprocal);
    auto& [differences, divisors, reciprocals, exponents, powers, places] = weight_fill_lists<WeightFillLists>(space);
    int count = 0;
    for (int i = 0; i < kLanes; ++i) {
      weights[i] = kGaussianWeightOfEqualLumas;
      for (int w = 0; w < kMarkWords; ++w)
        for (std::uint64_t bits = w == 0 ? words[w][i] & ~std::uint64_t{1} : words[w][i]; bits != 0;
             bits &= bits - 1) {
          const int difference = 64 * w + __builtin_ctzll(bits);
          differences[count] = difference;
          divisors[count] = lane_divisor[i];
          reciprocals[count] = lane_reciprocal[i];
          places[count] = difference * kLanes + i;
          ++count;
        }
    }
    int padded = count;
    for (; padded % kLanes != 0; ++padded) differences[padded] = 0.0, divisors[padded] = reciprocals[padded] = 1.0;
    for (int n = 0; n < padded; n += kLanes)
      _mm256_store_pd(exponents + n, gaussian_exponent<Avx2Lanes>(
                                         _mm256_load_pd(differences + n),
                                         Divisor{_mm256_load_pd(divisors + n), _mm256_load_pd(reciprocals + n)}));
    // The padding's exponents are set, not made: the exact power then
    // decides them whatever the formula.
    for (int n = count; n < padded; ++n) exponents[n] = kPaddingExponent;
    exact_gaussian_powers<Avx2ExactPowerOps>(exponents, powers, static_cast<std::size_t>(padded));
    for (int n = 0; n < count; ++n) weights[places[n]] = powers[n];
  }

  static D table_weights(const double* weights, D difference) {
    const __m128i index = _mm_add_epi32(_mm_slli_epi32(_mm256_cvttpd_epi32(difference), 2), _mm_setr_epi32(0, 1, 2, 3));
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), weights, index, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
  }
  // A list holds every sample's exponent: those near one too.
  static void gaussian_powers(const double* exponents, double* powers, int count) {
    exact_gaussian_powers<Avx2ExactPowerOps, true>(exponents, powers, static_cast<std::size_t>(count));
  }
  template <class Sample>
  static void store_pixels(Sample* out, const Sample* centre, D u, D v) {
    alignas(32) double lane_u[kLanes], lane_v[kLanes];
    _mm256_store_pd(lane_u, u);
    _mm256_store_pd(lane_v, v);
    store_lane_pixels(out, centre, lane_u, lane_v, kLanes);
  }
};

}  // namespace

int propagation_pass_avx2(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<Avx2Lanes>>(settings, current, next, memo, workspace);
}

int propagation_pass_avx2(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<Avx2Lanes>>(settings, current, next, memo, workspace);
}

double propagation_pass_avx2(const PassSettings& settings, const float* current, float* next,
                             GaussianWeightCache* memo, PassWorkspace& workspace) {
  return float_lane_pass<PairedLanes<Avx2Lanes>>(settings, current, next, memo, workspace);
}

std::size_t exact_gaussian_powers_avx2(const double* exponents, double* powers, std::size_t count) {
  return exact_gaussian_powers<Avx2ExactPowerOps>(exponents, powers, count);
}

void bounded_gaussian_powers_avx2(const double* exponents, double* powers, std::size_t count) {
  for (std::size_t i = 0; i < count; i += Avx2Lanes::kLanes) {
    const int left = count - i >= 4 ? 4 : static_cast<int>(count - i);
    const __m256i lanes = _mm256_cmpgt_epi64(_mm256_set1_epi64x(left), _mm256_setr_epi64x(0, 1, 2, 3));
    _mm256_maskstore_pd(powers + i, lanes,
                        Avx2Lanes::bounded_gaussian_power(_mm256_maskload_pd(exponents + i, lanes)));
  }
}

}  // namespace quillfen
