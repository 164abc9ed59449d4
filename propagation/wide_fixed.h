// Signed fixed-point numbers of kLimbs 32-bit limbs, the top limb the
// integer part and the rest 32 * (kLimbs - 1) fraction bits, two's
// complement across the limbs. Enough arithmetic to evaluate e^x and the
// logarithms the Gaussian weight needs to hundreds of bits, in standard
// C++ on every platform and at compile time (exp2_fraction_table.h), where
// a double-double falls short: the last step of the weight's rounding
// (gaussian_power_final_step.cpp) and the table of powers of two.
//
// Every operation but addition, subtraction and the product by an integer,
// which are exact, truncates towards zero: its error is below one unit of
// the last fraction bit, 2^-kFractionBits.
#pragma once

#include <bit>
#include <cstdint>

namespace quillfen {

template <int kLimbs>
struct WideFixed {
  static_assert(kLimbs >= 3);
  static constexpr int kFractionBits = 32 * (kLimbs - 1);
  std::uint32_t limb[kLimbs] = {};  // least significant first

  // m * 2^exponent, which must be a multiple of 2^-kFractionBits below
  // 2^31 in magnitude: bits beyond the format are dropped.
  static constexpr WideFixed scaled(std::uint64_t m, int exponent, bool negative = false) {
    WideFixed x;
    const int shift = exponent + kFractionBits;  // where bit 0 of m lands
    for (int bit = 0; bit < 64; ++bit) {
      if (!(m >> bit & 1)) continue;
      const int at = shift + bit;
      if (at >= 0 && at < 32 * kLimbs) x.limb[at / 32] |= std::uint32_t{1} << (at % 32);
    }
    return negative ? -x : x;
  }
  static constexpr WideFixed integer(std::int32_t n) {
    return scaled(static_cast<std::uint64_t>(n < 0 ? -static_cast<std::int64_t>(n) : n), 0, n < 0);
  }
  // A finite double, exactly (see scaled).
  static constexpr WideFixed from_double(double d) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
    const int field = static_cast<int>(bits >> 52 & 0x7FF);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    if (field != 0) m |= std::uint64_t{1} << 52;
    return scaled(m, (field != 0 ? field : 1) - 1075, bits >> 63 != 0);
  }

  constexpr bool negative() const { return limb[kLimbs - 1] >> 31 != 0; }
  constexpr bool is_zero() const {
    for (const std::uint32_t l : limb)
      if (l != 0) return false;
    return true;
  }

  constexpr WideFixed operator-() const {
    WideFixed r;
    std::uint64_t carry = 1;
    for (int i = 0; i < kLimbs; ++i) {
      carry += static_cast<std::uint32_t>(~limb[i]);
      r.limb[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    return r;
  }
  constexpr WideFixed operator+(const WideFixed& b) const {
    WideFixed r;
    std::uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      carry += std::uint64_t{limb[i]} + b.limb[i];
      r.limb[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    return r;
  }
  constexpr WideFixed operator-(const WideFixed& b) const { return *this + -b; }
  constexpr WideFixed magnitude() const { return negative() ? -*this : *this; }

  // Exact while the product stays below 2^31.
  constexpr WideFixed times(std::uint32_t n) const {
    const WideFixed a = magnitude();
    WideFixed r;
    std::uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      carry += std::uint64_t{a.limb[i]} * n;
      r.limb[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    return negative() ? -r : r;
  }
  constexpr WideFixed divided_by(std::uint32_t n) const {
    const WideFixed a = magnitude();
    WideFixed r;
    std::uint64_t rest = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      rest = rest << 32 | a.limb[i];
      r.limb[i] = static_cast<std::uint32_t>(rest / n);
      rest %= n;
    }
    return negative() ? -r : r;
  }
  constexpr WideFixed operator*(const WideFixed& b) const {
    const WideFixed x = magnitude(), y = b.magnitude();
    // The full product has 2 kLimbs limbs; the result is limbs
    // kLimbs - 1 .. 2 kLimbs - 2 of it.
    std::uint32_t full[2 * kLimbs] = {};
    for (int i = 0; i < kLimbs; ++i) {
      std::uint64_t carry = 0;
      for (int j = 0; j < kLimbs; ++j) {
        carry += std::uint64_t{x.limb[i]} * y.limb[j] + full[i + j];
        full[i + j] = static_cast<std::uint32_t>(carry);
        carry >>= 32;
      }
      full[i + kLimbs] = static_cast<std::uint32_t>(carry);
    }
    WideFixed r;
    for (int i = 0; i < kLimbs; ++i) r.limb[i] = full[i + kLimbs - 1];
    return negative() != b.negative() ? -r : r;
  }

  // The double nearest a value in [2^-1022, 2^31), ties to even.
  constexpr double to_double() const {
    const WideFixed a = magnitude();
    int top = 32 * kLimbs - 1;
    while (top >= 0 && !(a.limb[top / 32] >> (top % 32) & 1)) --top;
    if (top < 0) return 0.0;
    const auto bit = [&a](int at) -> std::uint64_t { return at < 0 ? 0 : a.limb[at / 32] >> (at % 32) & 1; };
    std::uint64_t m = 0;
    for (int at = top; at > top - 53; --at) m = m << 1 | bit(at);
    bool sticky = false;
    for (int at = top - 54; at >= 0 && !sticky; --at) sticky = bit(at) != 0;
    if (bit(top - 53) && (sticky || (m & 1))) ++m;  // m may become 2^53: still exact
    // m * 2^(top - 52 - kFractionBits), the scale built in the exponent field.
    const int exponent = top - 52 - kFractionBits;
    const double scale = std::bit_cast<double>(static_cast<std::uint64_t>(exponent + 1023) << 52);
    const double value = static_cast<double>(m) * scale;
    return negative() ? -value : value;
  }
};

template <int kLimbs>
constexpr bool operator<(const WideFixed<kLimbs>& a, const WideFixed<kLimbs>& b) {
  return (a - b).negative();
}

// e^x by its Taylor series, for |x| <= 1: each term below the last in
// magnitude; the sum stops where the truncated terms reach zero. Error
// below 4 * kFractionBits units of the last place for the truncations,
// plus e times x's own error.
template <int kLimbs>
constexpr WideFixed<kLimbs> wide_exp(const WideFixed<kLimbs>& x) {
  WideFixed<kLimbs> sum = WideFixed<kLimbs>::integer(1), term = sum;
  for (std::uint32_t n = 1; !term.is_zero(); ++n) {
    term = (term * x).divided_by(n);
    sum = sum + term;
  }
  return sum;
}

// ln 2 = sum over n >= 1 of 2^-n / n; error below kFractionBits units of
// the last place.
template <int kLimbs>
constexpr WideFixed<kLimbs> wide_ln2() {
  WideFixed<kLimbs> sum;
  for (int n = 1; n <= WideFixed<kLimbs>::kFractionBits; ++n)
    sum = sum + WideFixed<kLimbs>::scaled(1, -n).divided_by(static_cast<std::uint32_t>(n));
  return sum;
}

}  // namespace quillfen
