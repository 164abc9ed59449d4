// The vector kernel body over plain arrays of lanes, for any CPU. The lane
// loops are independent per centre, so a compiler may vectorise them
// without changing a single operation. Quotients are plain divisions.
#include <cstdint>

#include "propagation/float_lane_kernel.h"
#include "propagation/lane_kernel.h"
#include "propagation/pass_kernels.h"

namespace quillfen {

namespace {

struct PortableLanes {
  static constexpr int kLanes = 4;
  struct D {
    double lane[kLanes];
  };

  static D load(const double* p) {
    D r;
    for (int i = 0; i < kLanes; ++i) r.lane[i] = p[i];
    return r;
  }
  static void store(double* p, D a) {
    for (int i = 0; i < kLanes; ++i) p[i] = a.lane[i];
  }
  static D set1(double value) {
    D r;
    for (int i = 0; i < kLanes; ++i) r.lane[i] = value;
    return r;
  }
  static D add(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] + b.lane[i];
    return a;
  }
  static D sub(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] - b.lane[i];
    return a;
  }
  static D mul(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] * b.lane[i];
    return a;
  }
  static D div(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] / b.lane[i];
    return a;
  }
  static D min(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = b.lane[i] < a.lane[i] ? b.lane[i] : a.lane[i];
    return a;
  }
  static D max(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = b.lane[i] > a.lane[i] ? b.lane[i] : a.lane[i];
    return a;
  }
  static D abs(D a) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = __builtin_fabs(a.lane[i]);
    return a;
  }
  static D truncate(D a) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = __builtin_trunc(a.lane[i]);
    return a;
  }
  static D at_least(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] >= b.lane[i] ? 1.0 : 0.0;
    return a;
  }
  static bool all_finite(D a) {
    bool finite = true;
    for (int i = 0; i < kLanes; ++i) finite = finite && __builtin_isfinite(a.lane[i]);
    return finite;
  }

  // The words of the lanes as one vector of bytes, or of 16-bit fields,
  // whose field-wise minimum the compiler makes with whatever the CPU
  // offers.
  struct Range {
    using Bytes = unsigned char __attribute__((vector_size(8 * kLanes)));
    using Fields = unsigned short __attribute__((vector_size(8 * kLanes)));
    Bytes bytes;
  };
  static Range range_load(const std::uint64_t* p) {
    Range r;
    __builtin_memcpy(&r.bytes, p, sizeof r.bytes);
    return r;
  }
  static void range_store(std::uint64_t* p, Range a) { __builtin_memcpy(p, &a.bytes, sizeof a.bytes); }
  static Range range_set1(std::uint64_t word) {
    std::uint64_t words[kLanes];
    for (std::uint64_t& w : words) w = word;
    return range_load(words);
  }
  template <class Sample>
  static Range range_min(Range a, Range b) {
    if constexpr (sizeof(Sample) == 1) {
      return {a.bytes < b.bytes ? a.bytes : b.bytes};
    } else {
      const auto x = reinterpret_cast<typename Range::Fields>(a.bytes);
      const auto y = reinterpret_cast<typename Range::Fields>(b.bytes);
      return {reinterpret_cast<typename Range::Bytes>(x < y ? x : y)};
    }
  }
  template <class Sample, int kField>
  static D range_field(Range a) {
    std::uint64_t words[kLanes];
    range_store(words, a);
    D r;
    for (int i = 0; i < kLanes; ++i) r.lane[i] = ChromaRangeWords<Sample>::field(words[i], kField);
    return r;
  }

  // A zero divisor becomes infinity, which divides every finite numerator
  // to a zero.
  struct Divisor {
    D value;
  };
  static Divisor divisor(D b) {
    for (int i = 0; i < kLanes; ++i) b.lane[i] = b.lane[i] == 0.0 ? __builtin_inf() : b.lane[i];
    return {b};
  }
  static D divide(D a, const Divisor& b) { return div(a, b.value); }

  // Bit i for lane i.
  using LaneMask = unsigned;
  static constexpr LaneMask kAllLanes = (1u << kLanes) - 1;
  // Every lookup is served on the spot: nothing is left missing.
  struct Misses {};
  static D memo_weights(D exponent, LaneMask lanes, GaussianWeightCache& cache, Misses&) {
    for (int i = 0; i < kLanes; ++i) exponent.lane[i] = lanes >> i & 1 ? cache.weight(exponent.lane[i]) : 0.0;
    return exponent;
  }
  static void serve_misses(D&, D, Misses, GaussianWeightCache&) {}

  struct Marks {
    std::uint64_t word[kMarkWords][kLanes];
  };
  static Marks no_marks() { return {}; }
  static void mark(Marks& marks, D difference) {
    for (int i = 0; i < kLanes; ++i) {
      const int value = static_cast<int>(difference.lane[i]);
      marks.word[value / 64][i] |= std::uint64_t{1} << (value % 64);
    }
  }
  // mark leaves nothing out.
  static bool needs_wide(const Marks&) { return false; }
  static void open_wide(Marks&) {}
  static void mark_wide(Marks&, D) {}
  static void fill_weight_table(double* weights, const Marks& marks, D variance, GaussianWeightCache& cache,
                                WeightFillSpace&) {
    fill_lane_weights<kLanes>(weights, marks.word, variance.lane, cache);
  }
  static D table_weights(const double* weights, D difference) {
    for (int i = 0; i < kLanes; ++i) difference.lane[i] = weights[static_cast<int>(difference.lane[i]) * kLanes + i];
    return difference;
  }
  static void gaussian_powers(const double* exponents, double* powers, int count) {
    scalar_gaussian_powers(exponents, powers, count);
  }
  template <class Sample>
  static void store_pixels(Sample* out, const Sample* centre, D u, D v) {
    store_lane_pixels(out, centre, u.lane, v.lane, kLanes);
  }
};

}  // namespace

int propagation_pass_portable(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                              GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PortableLanes>(settings, current, next, memo, workspace);
}

int propagation_pass_portable(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                              GaussianWeightCache* memo, PassWorkspace& workspace) {
  return lane_pass<PortableLanes>(settings, current, next, memo, workspace);
}

double propagation_pass_portable(const PassSettings& settings, const float* current, float* next,
                                 GaussianWeightCache* memo, PassWorkspace& workspace) {
  return float_lane_pass<PortableLanes>(settings, current, next, memo, workspace);
}

}  // namespace quillfen
