// The vector kernel body on Advanced SIMD registers, two centres per
// register, two registers per operation. Built for aarch64 targets only.
// Quotients come from one reciprocal per divisor and explicit fused
// multiply-adds (exact_quotient.h); nothing else is fused. The Gaussian
// weights come from the memo and the weight's scalar form (gaussian_power),
// as the portable kernel takes them: the same bits as every other kernel.
#include <arm_neon.h>

#include <cstdint>

#include "propagation/arm64/neon_doubles.h"
#include "propagation/exact_quotient.h"
#include "propagation/float_lane_kernel.h"
#include "propagation/lane_kernel.h"
#include "propagation/paired_lanes.h"
#include "propagation/pass_kernels.h"

namespace quillfen {

namespace {

struct NeonLanes : NeonDoubles {
  static D div(D a, D b) { return vdivq_f64(a, b); }
  // Selected by comparison, not by FMIN and FMAX, so that equal operands
  // give the first one, as the lane operations ask.
  static D min(D a, D b) { return vbslq_f64(vcltq_f64(b, a), b, a); }
  static D max(D a, D b) { return vbslq_f64(vcgtq_f64(b, a), b, a); }
  static D truncate(D a) { return vrndq_f64(a); }
  static D at_least(D a, D b) {
    return vreinterpretq_f64_u64(vandq_u64(vcgeq_f64(a, b), vreinterpretq_u64_f64(vdupq_n_f64(1.0))));
  }
  // x - x is 0 exactly for finite x and NaN otherwise.
  static bool all_finite(D a) {
    const uint64x2_t finite = vceqzq_f64(vsubq_f64(a, a));
    return (vgetq_lane_u64(finite, 0) & vgetq_lane_u64(finite, 1)) != 0;
  }

  // The two lanes' words as sixteen bytes.
  using Range = uint8x16_t;
  static Range range_load(const std::uint64_t* p) { return vreinterpretq_u8_u64(vld1q_u64(p)); }
  static void range_store(std::uint64_t* p, Range a) { vst1q_u64(p, vreinterpretq_u64_u8(a)); }
  static Range range_set1(std::uint64_t word) { return vreinterpretq_u8_u64(vdupq_n_u64(word)); }
  template <class Sample>
  static Range range_min(Range a, Range b) {
    if constexpr (sizeof(Sample) == 1)
      return vminq_u8(a, b);
    else
      return vreinterpretq_u8_u16(vminq_u16(vreinterpretq_u16_u8(a), vreinterpretq_u16_u8(b)));
  }
  template <class Sample, int kField>
  static D range_field(Range a) {
    using Words = ChromaRangeWords<Sample>;
    uint64x2_t words = vreinterpretq_u64_u8(a);
    if constexpr (kField > 0) words = vshrq_n_u64(words, Words::kFieldBits * kField);
    return vcvtq_f64_u64(vandq_u64(words, vdupq_n_u64(Words::kFieldMask)));
  }

  // A zero divisor gets a zero reciprocal, which makes every quotient a
  // zero.
  struct Divisor {
    D value;
    D reciprocal;
  };
  static Divisor divisor(D b) {
    const uint64x2_t zero = vceqzq_f64(b);
    return {b, vreinterpretq_f64_u64(vbicq_u64(vreinterpretq_u64_f64(vdivq_f64(vdupq_n_f64(1.0), b)), zero))};
  }
  static D divide(D a, const Divisor& b) { return exact_quotient<NeonLanes>(a, b.value, b.reciprocal); }

  // Bit i for lane i.
  using LaneMask = unsigned;
  static constexpr LaneMask kAllLanes = 0x3;
  // Every lookup is served on the spot: nothing is left missing.
  struct Misses {};
  static D memo_weights(D exponent, LaneMask lanes, GaussianWeightCache& cache, Misses&) {
    double lane[kLanes];
    vst1q_f64(lane, exponent);
    for (int i = 0; i < kLanes; ++i) lane[i] = lanes >> i & 1 ? cache.weight(lane[i]) : 0.0;
    return vld1q_f64(lane);
  }
  static void serve_misses(D&, D, Misses, GaussianWeightCache&) {}

  // Bit k of word w of a lane's set is difference 64 * w + k. The shift
  // takes its count from the low byte, signed: counts from 64 up shift the
  // bit out to the left, negative ones (and those whose low byte reads
  // negative) out to the right, so each word keeps only its own
  // differences. mark fills word 0 alone and gathers the bits of every
  // difference in `counts`, where one of 64 and up shows above the low six
  // bits.
  struct Marks {
    uint64x2_t word[kMarkWords];
    uint64x2_t counts;
  };
  static Marks no_marks() {
    Marks marks;
    for (uint64x2_t& word : marks.word) word = vdupq_n_u64(0);
    marks.counts = vdupq_n_u64(0);
    return marks;
  }
  static uint64x2_t bit_at(uint64x2_t count) { return vshlq_u64(vdupq_n_u64(1), vreinterpretq_s64_u64(count)); }
  static void mark(Marks& marks, D difference) {
    const uint64x2_t count = vcvtq_u64_f64(difference);
    marks.word[0] = vorrq_u64(marks.word[0], bit_at(count));
    marks.counts = vorrq_u64(marks.counts, count);
  }
  static bool needs_wide(const Marks& marks) {
    const uint64x2_t wide = vandq_u64(marks.counts, vdupq_n_u64(~std::uint64_t{kNarrowDifferences - 1}));
    return (vgetq_lane_u64(wide, 0) | vgetq_lane_u64(wide, 1)) != 0;
  }
  // Every word starts empty: there is nothing to prepare.
  static void open_wide(Marks&) {}
  static void mark_wide(Marks& marks, D difference) {
    const uint64x2_t count = vcvtq_u64_f64(difference);
    for (int w = 1; w < kMarkWords; ++w)
      marks.word[w] = vorrq_u64(marks.word[w], bit_at(vsubq_u64(count, vdupq_n_u64(64 * w))));
  }
  static void fill_weight_table(double* weights, const Marks& marks, D variance, GaussianWeightCache& cache,
                                WeightFillSpace&) {
    std::uint64_t words[kMarkWords][kLanes];
    for (int w = 0; w < kMarkWords; ++w) vst1q_u64(words[w], marks.word[w]);
    double lane_variance[kLanes];
    vst1q_f64(lane_variance, variance);
    fill_lane_weights<kLanes>(weights, words, lane_variance, cache);
  }
  static D table_weights(const double* weights, D difference) {
    const uint64x2_t index = vcvtq_u64_f64(difference);
    const D low = vld1q_dup_f64(weights + vgetq_lane_u64(index, 0) * kLanes);
    return vld1q_lane_f64(weights + vgetq_lane_u64(index, 1) * kLanes + 1, low, 1);
  }
  static void gaussian_powers(const double* exponents, double* powers, int count) {
    scalar_gaussian_powers(exponents, powers, count);
  }
  template <class Sample>
  static void store_pixels(Sample* out, const Sample* centre, D u, D v) {
    double lane_u[kLanes], lane_v[kLanes];
    vst1q_f64(lane_u, u);
    vst1q_f64(lane_v, v);
    store_lane_pixels(out, centre, lane_u, lane_v, kLanes);
  }
};

}  // namespace

int propagation_pass_neon(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<NeonLanes>>(settings, current, next, memo, workspace);
}

int propagation_pass_neon(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PairedLanes<NeonLanes>>(settings, current, next, memo, workspace);
}

double propagation_pass_neon(const PassSettings& settings, const float* current, float* next,
                             GaussianWeightCache* memo, PassWorkspace& workspace) {
  return float_lane_pass<PairedLanes<NeonLanes>>(settings, current, next, memo, workspace);
}

}  // namespace quillfen
