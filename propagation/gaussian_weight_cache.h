// Memo of the Gaussian weight by its exponent. The power is the dominant
// cost of the Gaussian form, and the same exponent recurs constantly: it
// depends only on the luma difference and the centre's variance, which
// repeat across samples and centres. The cached value is the weight
// (gaussian_power) for exactly that exponent, so a hit returns the very
// bits a fresh computation would.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "propagation/affinity.h"

namespace quillfen {

class GaussianWeightCache {
 public:
  // 2 MiB of entries: the distinct exponents of a pass far outnumber the
  // slots, and halving the memo costs more powers than its extra cache
  // misses save.
  static constexpr int kSlotBits = 17;

  struct Entry {
    std::uint64_t key;  // the exponent's bits
    double value;
  };

  [[gnu::always_inline]] GaussianWeightCache() { clear(); }

  [[gnu::always_inline]] void clear() {
    for (Entry& entry : entries_) entry.key = kEmpty;
  }

  // Where the exponent with these bits is kept. Vector kernels compute the
  // same slot lane by lane and read the entries directly.
  [[gnu::always_inline]] static std::uint32_t slot(std::uint64_t key) {
    return (static_cast<std::uint32_t>(key ^ (key >> 32)) * kMultiplier) >> (32 - kSlotBits);
  }
  static constexpr std::uint32_t kMultiplier = 0x9E3779B1u;

  [[gnu::always_inline]] const Entry* entries() const { return entries_; }

  // gaussian_power(exponent), decided without a branch on the lumas, so
  // that the common hit costs a load and a compare.
  [[gnu::always_inline]] double weight(double exponent) {
    return look_up(exponent, [](double q) { return gaussian_power(q); });
  }
  // The same for exponents the fast form already left undecided: a miss
  // goes to the precise form directly.
  [[gnu::always_inline]] double precise_weight(double exponent) { return look_up(exponent, precise_gaussian_power); }

 private:
  // The bits of +1.0: exponents are never positive, so no lookup matches
  // an empty slot.
  static constexpr std::uint64_t kEmpty = 0x3FF0000000000000ull;

  template <class Power>
  [[gnu::always_inline]] double look_up(double exponent, Power power) {
    std::uint64_t key;
    std::memcpy(&key, &exponent, sizeof key);
    Entry& entry = entries_[slot(key)];
    if (entry.key != key) {
      entry.key = key;
      entry.value = power(exponent);
    }
    return entry.value;
  }
  Entry entries_[1 << kSlotBits];
};

// The memo for passes of one form, made once with the working images that
// its passes use and kept by their owner: 2 MiB is too large for a pass's
// stack frame, and a pass allocates nothing. The Gaussian form gets one;
// the linear form needs none and gets null. Each Gaussian pass clears the
// memo first, so that a pass costs the same whatever ran before it.
std::unique_ptr<GaussianWeightCache> gaussian_weight_memo_for(bool gaussian);

}  // namespace quillfen
