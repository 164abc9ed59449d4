// The vector kernel body on AVX-512 registers, eight centres per register,
// four registers per operation: a run's chain of divisions and sums is long,
// and four independent registers keep the units busy while it completes.
// Quotients come from one reciprocal per divisor and explicit fused
// multiply-adds (exact_quotient.h); nothing else is fused.
#include <immintrin.h>

#include <cstdint>

#include "propagation/bounded_gaussian_power.h"
#include "propagation/exact_gaussian_power.h"
#include "propagation/exact_quotient.h"
#include "propagation/float_lane_kernel.h"
#include "propagation/lane_kernel.h"
#include "propagation/paired_lanes.h"
#include "propagation/pass_kernels.h"
#include "propagation/x86/avx512_doubles.h"
#include "propagation/x86/avx512_exact_power_ops.h"

namespace quillfen {

namespace {

struct Avx512Lanes : Avx512Doubles {
  // Masked forms with every lane set stand in for several plain ones:
  // GCC 12 warns spuriously about the plain ones.
  static D div(D a, D b) { return _mm512_div_pd(a, b); }
  static D min(D a, D b) { return _mm512_mask_min_pd(a, 0xFF, a, b); }
  static D max(D a, D b) { return _mm512_mask_max_pd(a, 0xFF, a, b); }
  static D truncate(D a) { return _mm512_maskz_roundscale_pd(0xFF, a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
  static D at_least(D a, D b) {
    return _mm512_maskz_mov_pd(_mm512_cmp_pd_mask(a, b, _CMP_GE_OQ), _mm512_set1_pd(1.0));
  }
  // x - x is 0 exactly for finite x and NaN otherwise.
  static bool all_finite(D a) {
    return _mm512_cmp_pd_mask(_mm512_sub_pd(a, a), _mm512_setzero_pd(), _CMP_EQ_OQ) == 0xFF;
  }
  // NaN is not zero.
  static bool all_zero(D a) { return _mm512_cmp_pd_mask(a, _mm512_setzero_pd(), _CMP_NEQ_UQ) == 0; }
  static D bounded_gaussian_power(D q) { return quillfen::bounded_gaussian_power<Avx512Lanes>(q); }

  using Range = __m512i;
  static Range range_load(const std::uint64_t* p) { return _mm512_loadu_si512(p); }
  static void range_store(std::uint64_t* p, Range a) { _mm512_storeu_si512(p, a); }
  static Range range_set1(std::uint64_t word) { return _mm512_set1_epi64(static_cast<long long>(word)); }
  template <class Sample>
  static Range range_min(Range a, Range b) {
    if constexpr (sizeof(Sample) == 1)
      return _mm512_min_epu8(a, b);
    else
      return _mm512_min_epu16(a, b);
  }
  template <class Sample, int kField>
  static D range_field(Range a) {
    using Words = ChromaRangeWords<Sample>;
    return _mm512_maskz_cvtepi64_pd(
        0xFF, _mm512_maskz_and_epi64(0xFF, _mm512_maskz_srli_epi64(0xFF, a, Words::kFieldBits * kField),
                                     _mm512_set1_epi64(static_cast<long long>(Words::kFieldMask))));
  }

  // A zero divisor gets a zero reciprocal, which makes every quotient a
  // zero.
  struct Divisor {
    D value;
    D reciprocal;
  };
  static Divisor divisor(D b) {
    const __mmask8 nonzero = _mm512_cmp_pd_mask(b, _mm512_setzero_pd(), _CMP_NEQ_OQ);
    return {b, _mm512_maskz_div_pd(nonzero, _mm512_set1_pd(1.0), b)};
  }
  static D divide(D a, const Divisor& b) { return exact_quotient<Avx512Lanes>(a, b.value, b.reciprocal); }

  // Bit k of word w of a lane's set is difference 64 * w + k. A shift by
  // 64 or more, or by a negative count, gives 0, so each word keeps only
  // its own differences. mark fills word 0 alone and gathers the bits of
  // every difference in `counts`, where one of 64 and up shows above the
  // low six bits; words 1 to 3 are kept only once `wide` is set.
  struct Marks {
    __m512i word[kMarkWords];
    __m512i counts;
    bool wide;
  };
  static Marks no_marks() {
    // Words 1 to 3 are set too, though mark writes them only once `wide`
    // is: a register copied with the run's marks must hold a value.
    Marks marks;
    for (__m512i& word : marks.word) word = _mm512_setzero_si512();
    marks.counts = _mm512_setzero_si512();
    marks.wide = false;
    return marks;
  }
  static void mark(Marks& marks, D difference) {
    const __m512i count = _mm512_maskz_cvttpd_epi64(0xFF, difference);
    marks.word[0] = _mm512_or_si512(marks.word[0], _mm512_maskz_sllv_epi64(0xFF, _mm512_set1_epi64(1), count));
    marks.counts = _mm512_or_si512(marks.counts, count);
  }
  static bool needs_wide(const Marks& marks) {
    return _mm512_test_epi64_mask(marks.counts, _mm512_set1_epi64(~std::int64_t{kNarrowDifferences - 1})) != 0;
  }
  static void open_wide(Marks& marks) {
    for (int w = 1; w < kMarkWords; ++w) marks.word[w] = _mm512_setzero_si512();
    marks.wide = true;
  }
  static void mark_wide(Marks& marks, D difference) {
    const __m512i count = _mm512_maskz_cvttpd_epi64(0xFF, difference);
    const __m512i bit = _mm512_set1_epi64(1);
    for (int w = 1; w < kMarkWords; ++w)
      marks.word[w] = _mm512_or_si512(
          marks.word[w],
          _mm512_maskz_sllv_epi64(0xFF, bit, _mm512_maskz_sub_epi64(0xFF, count, _mm512_set1_epi64(64 * w))));
  }

  // The union of the lanes' words.
  static std::uint64_t any_lane(__m512i words) {
    alignas(64) std::uint64_t lane[kLanes];
    _mm512_store_si512(lane, words);
    std::uint64_t any = 0;
    for (const std::uint64_t word : lane) any |= word;
    return any;
  }

  // Differences 1 to kDenseDifferences: grain alone makes nearly every
  // centre meet them.
  static constexpr int kDenseDifferences = 3;

  // The exponents of a run's registers gather in one list, so that the
  // exact power and the spreading back each take one sweep per run, with
  // one padding. Each register lists a whole register of exponents for each
  // dense difference, a lane that did not meet it taking the padding
  // instead; then, difference by difference over the union of its lanes'
  // sets, the exponents of the lanes that met a difference, packed, so
  // that the exact power computes eight at a time without an idle lane.
  // Each spread names where its powers begin and the lanes they go back
  // to. Difference 0 needs no power.
  struct WeightList {
    // What one register lists at most: every difference from 1 met by
    // every lane.
    static constexpr int kRegisterMost = (kLumaDifferences - 1) * kLanes;
    // Two registers' most, and a register more for the packed store and
    // the padding, which write, and a spread, which reads, a whole register
    // past the list's end. A run's registers list far less in any footage;
    // a register that might not fit has the list worked off first.
    static constexpr int kCapacity = 2 * kRegisterMost + kLanes;
    struct Spread {
      double* at;
      int from;
      __mmask8 lanes;
    };
    alignas(64) double exponents[kCapacity];
    alignas(64) double powers[kCapacity];
    // Each register of a run spreads at most once per difference from 1,
    // and the list is worked off after every run.
    Spread spreads[kMaxTableLanes / kLanes * (kLumaDifferences - 1)];
    int listed = 0, spread_count = 0;
  };

  static void list_weights(WeightList& list, double* weights, const Marks& marks, D variance,
                           GaussianWeightCache& memo) {
    if (list.listed > WeightList::kCapacity - WeightList::kRegisterMost - kLanes) work_off(list, memo);
    _mm512_storeu_pd(weights, _mm512_set1_pd(kGaussianWeightOfEqualLumas));
    const Divisor by_exponent_divisor = gaussian_exponent_divisor<Avx512Lanes>(variance);
    // The counts are kept in registers: the list lives in the workspace,
    // where each store of an exponent could, for all the compiler knows,
    // overwrite them.
    int listed = list.listed, spread_count = list.spread_count;
    for (int difference = 1; difference <= kDenseDifferences; ++difference) {
      const __mmask8 lanes = _mm512_test_epi64_mask(marks.word[0], _mm512_set1_epi64(std::int64_t{1} << difference));
      const D exponent = gaussian_exponent<Avx512Lanes>(_mm512_set1_pd(difference), by_exponent_divisor);
      _mm512_storeu_pd(list.exponents + listed,
                       _mm512_mask_blend_pd(lanes, _mm512_set1_pd(kPaddingExponent), exponent));
      list.spreads[spread_count++] = {weights + difference * kLanes, listed, 0xFF};
      listed += kLanes;
    }
    for (int w = 0; w < (marks.wide ? kMarkWords : 1); ++w) {
      const std::uint64_t met = any_lane(marks.word[w]);
      for (std::uint64_t bits = w == 0 ? met & -(std::uint64_t{2} << kDenseDifferences) : met; bits != 0;
           bits &= bits - 1) {
        const int bit = __builtin_ctzll(bits);
        const int difference = 64 * w + bit;
        const __mmask8 lanes = _mm512_test_epi64_mask(marks.word[w], _mm512_set1_epi64(std::int64_t{1} << bit));
        const D exponent = gaussian_exponent<Avx512Lanes>(_mm512_set1_pd(difference), by_exponent_divisor);
        _mm512_storeu_pd(list.exponents + listed, _mm512_maskz_compress_pd(lanes, exponent));
        list.spreads[spread_count++] = {weights + difference * kLanes, listed, lanes};
        listed += __builtin_popcount(lanes);
      }
    }
    list.listed = listed;
    list.spread_count = spread_count;
  }

  // The powers of the listed exponents, back to their lanes' places; the
  // list is then empty.
  static void work_off(WeightList& list, GaussianWeightCache& memo) {
    _mm512_storeu_pd(list.exponents + list.listed, _mm512_set1_pd(kPaddingExponent));
    // The few exponents the fast form leaves undecided are served through
    // the pass's memo rather than by the precise form at each turn: on
    // real footage at radius 2 and 3 most of a frame's undecided exponents
    // recur (the same luma difference under the same variance), and a memo
    // hit costs a fraction of the precise form.
    exact_gaussian_powers_served_by<Avx512ExactPowerOps>(
        list.exponents, list.powers, static_cast<std::size_t>((list.listed + kLanes - 1) & -kLanes),
        [&memo](double q) { return memo.precise_weight(q); });
    // Each spread loads a whole register and expands it in the register:
    // with an expanding load from memory, GCC 12 built the sanitizer build
    // (-O2) so that it spread stale powers, not the ones just stored. The
    // lanes past the list's end that the load takes are left out by the
    // expand.
    const int spread_count = list.spread_count;
    for (int s = 0; s < spread_count; ++s) {
      const typename WeightList::Spread& spread = list.spreads[s];
      _mm512_mask_storeu_pd(spread.at, spread.lanes,
                            _mm512_maskz_expand_pd(spread.lanes, _mm512_loadu_pd(list.powers + spread.from)));
    }
    list.listed = list.spread_count = 0;
  }

  using LaneMask = __mmask8;
  static constexpr LaneMask kAllLanes = 0xFF;

  // The memo's entries for the chosen lanes, zero in the others; `missing`
  // receives the chosen lanes whose entry holds another exponent, and
  // whose weight is then not yet known.
  static D memo_weights(D exponent, __mmask8 lanes, const GaussianWeightCache& cache, __mmask8& missing) {
    const __m512i key = _mm512_castpd_si512(exponent);
    const __m256i folded =
        _mm512_maskz_cvtepi64_epi32(0xFF, _mm512_xor_si512(key, _mm512_maskz_srli_epi64(0xFF, key, 32)));
    const __m256i slot = _mm256_srli_epi32(
        _mm256_mullo_epi32(folded, _mm256_set1_epi32(static_cast<int>(GaussianWeightCache::kMultiplier))),
        32 - GaussianWeightCache::kSlotBits);
    const __m256i word = _mm256_slli_epi32(slot, 1);
    const GaussianWeightCache::Entry* entries = cache.entries();
    const __m512i keys = _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), lanes, word, &entries->key, 8);
    missing = _mm512_mask_cmpneq_epi64_mask(lanes, keys, key);
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), lanes, word, &entries->value, 8);
  }

  // Serves the lanes that memo_weights found missing through the memo one
  // by one, which fills their slots.
  using Misses = __mmask8;
  static void serve_misses(D& weights, D exponent, __mmask8 missing, GaussianWeightCache& cache) {
    if (missing == 0) return;
    // The weights stay in the register: a reload after scalar stores
    // would stall.
    alignas(64) double lane_exponent[kLanes];
    _mm512_store_pd(lane_exponent, exponent);
    for (unsigned remaining = missing; remaining != 0; remaining &= remaining - 1) {
      const int i = __builtin_ctz(remaining);
      weights = _mm512_mask_mov_pd(weights, static_cast<__mmask8>(1u << i), _mm512_set1_pd(cache.weight(lane_exponent[i])));
    }
  }

  static D table_weights(const double* weights, D difference) {
    const __m256i index = _mm256_add_epi32(_mm256_slli_epi32(_mm512_maskz_cvttpd_epi32(0xFF, difference), 3),
                                           _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, index, weights, 8);
  }

  // A list holds every sample's exponent: those near one too.
  static void gaussian_powers(const double* exponents, double* powers, int count) {
    exact_gaussian_powers<Avx512ExactPowerOps, true>(exponents, powers, static_cast<std::size_t>(count));
  }

  template <class Sample>
  static void store_pixels(Sample* out, const Sample* centre, D u, D v) {
    if constexpr (sizeof(Sample) == 1)
      store_byte_pixels(out, centre, u, v);
    else
      store_wide_pixels(out, centre, u, v);
  }

  // Eight wide pixels, 24 samples: the centres' luma at every third sample,
  // U and V from the lanes between.
  static void store_wide_pixels(std::uint16_t* out, const std::uint16_t* centre, D u, D v) {
    const __m128i u16 = _mm256_maskz_cvtepi32_epi16(0xFF, _mm512_maskz_cvttpd_epi32(0xFF, u));
    const __m128i v16 = _mm256_maskz_cvtepi32_epi16(0xFF, _mm512_maskz_cvttpd_epi32(0xFF, v));
    const __m512i chroma = _mm512_maskz_inserti64x2(0xFF, _mm512_castsi128_si512(u16), v16, 1);
    // Sample j takes the centre's sample j where j % 3 is 0, else chroma
    // sample (j % 3 - 1) * 8 + j / 3, which the index names from 32 up.
    constexpr __mmask32 kPixels = 0xFFFFFF;
    const __m512i order = _mm512_set_epi16(0, 0, 0, 0, 0, 0, 0, 0, 47, 39, 21, 46, 38, 18, 45, 37, 15, 44, 36, 12,
                                           43, 35, 9, 42, 34, 6, 41, 33, 3, 40, 32, 0);
    const __m512i luma = _mm512_maskz_loadu_epi16(kPixels, centre);
    _mm512_mask_storeu_epi16(out, kPixels, _mm512_maskz_permutex2var_epi16(kPixels, luma, order, chroma));
  }

  // Eight pixels, 24 bytes: the centres' bytes with U and V replaced.
  static void store_byte_pixels(std::uint8_t* out, const std::uint8_t* centre, D u, D v) {
    const __m128i u8 = _mm256_maskz_cvtepi32_epi8(0xFF, _mm512_maskz_cvttpd_epi32(0xFF, u));
    const __m128i v8 = _mm256_maskz_cvtepi32_epi8(0xFF, _mm512_maskz_cvttpd_epi32(0xFF, v));
    const __m128i chroma = _mm_unpacklo_epi8(u8, v8);  // u0 v0 u1 v1 ...
    // Byte j of the output takes chroma byte 2 * (j / 3) + j % 3 - 1 where
    // j % 3 is 1 or 2, and keeps the centre's luma where it is 0.
    const __m128i first_order = _mm_setr_epi8(-1, 0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1);
    const __m128i second_order = _mm_setr_epi8(10, 11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i first_luma = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1);
    const __m128i second_luma = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre));
    const __m128i second = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(centre + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_and_si128(first, first_luma), _mm_shuffle_epi8(chroma, first_order)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16),
                     _mm_or_si128(_mm_and_si128(second, second_luma), _mm_shuffle_epi8(chroma, second_order)));
  }
};

}  // namespace

int propagation_pass_avx512(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                            GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<PairedLanes<Avx512Lanes>>>(settings, current, next, memo, workspace);
}

int propagation_pass_avx512(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                            GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<PairedLanes<Avx512Lanes>>>(settings, current, next, memo, workspace);
}

double propagation_pass_avx512(const PassSettings& settings, const float* current, float* next,
                               GaussianWeightCache* memo, PassWorkspace& workspace) {
  return float_lane_pass<PairedLanes<PairedLanes<Avx512Lanes>>>(settings, current, next, memo, workspace);
}

std::size_t exact_gaussian_powers_avx512(const double* exponents, double* powers, std::size_t count) {
  return exact_gaussian_powers<Avx512ExactPowerOps>(exponents, powers, count);
}

void bounded_gaussian_powers_avx512(const double* exponents, double* powers, std::size_t count) {
  for (std::size_t i = 0; i < count; i += Avx512Lanes::kLanes) {
    const __mmask8 lanes = static_cast<__mmask8>(count - i >= 8 ? 0xFF : (1u << (count - i)) - 1);
    _mm512_mask_storeu_pd(powers + i, lanes,
                          Avx512Lanes::bounded_gaussian_power(_mm512_maskz_loadu_pd(lanes, exponents + i)));
  }
}

}  // namespace quillfen
