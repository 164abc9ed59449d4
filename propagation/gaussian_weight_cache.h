// Memo of the Gaussian weight by its exponent. The power function is the
// dominant cost of the Gaussian form, and within a pass the same exponent
// recurs constantly: it depends only on the luma difference and the
// centre's variance, which repeat across samples and across centres. The
// cached value is the power function's own result for exactly that
// exponent, so a hit returns the very bits a fresh call would.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "propagation/affinity.h"

class GaussianWeightCache {
 public:
  [[gnu::always_inline]] GaussianWeightCache() {
    for (Entry& entry : entries_) entry.key = kEmpty;
  }

  // pow(kGaussianBase, exponent). Decided without a branch on the lumas, so
  // that the common hit costs a load and a compare.
  [[gnu::always_inline]] double weight(double exponent) {
    std::uint64_t key;
    std::memcpy(&key, &exponent, sizeof key);
    Entry& entry = entries_[(key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    if (entry.key != key) {
      entry.key = key;
      entry.value = std::pow(kGaussianBase, exponent);
    }
    return entry.value;
  }

 private:
  static constexpr int kSlotBits = 13;
  // The bits of +1.0: exponents are never positive, so no lookup matches
  // an empty slot.
  static constexpr std::uint64_t kEmpty = 0x3FF0000000000000ull;
  struct Entry {
    std::uint64_t key;
    double value;
  };
  Entry entries_[1 << kSlotBits];
};
