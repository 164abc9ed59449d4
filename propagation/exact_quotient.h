// The correctly rounded quotient a / b without a division per quotient.
//
// Given y = RN(1/b), obtained once by a real division, q0 = RN(a * y) lies
// within two units in the last place of a / b; one correction through the
// residual a - b * q0 brings it within half a unit plus a tiny fraction,
// so q1 is a faithful quotient. For a faithful quotient the residual
// a - b * q1 is a double and a fused multiply-add gives it exactly, and
// RN(q1 + (a - b * q1) * y) is then RN(a / b) itself (Markstein's
// theorem, which needs y within half a unit of 1/b and no underflow or
// overflow on the way). The propagation's operands are far from both ends
// of the exponent range: numerators are integers or differences of samples
// from a mean, at most 65535^2 in magnitude (the square of a difference of
// wide samples), and divisors are sample counts or (twice) the variance of
// n whole-number lumas, which is exactly 0 or at least (n - 1) / n^2 less
// its rounding (below 2^-19 even for 16-bit lumas), above 1e-3 for every
// sample count the kernels meet.
//
// The result is the same double a division gives, on every CPU that
// executes the fused operations; the fused operations are called
// explicitly, not left to the compiler.
#pragma once

namespace quillfen {

// `Ops` supplies D, mul, fmadd(x, y, z) = RN(x * y + z) and
// fnmadd(x, y, z) = RN(z - x * y), each rounded once.
template <class Ops>
[[gnu::always_inline]] inline typename Ops::D exact_quotient(typename Ops::D a, typename Ops::D b,
                                                             typename Ops::D reciprocal) {
  const typename Ops::D q0 = Ops::mul(a, reciprocal);
  const typename Ops::D q1 = Ops::fmadd(Ops::fnmadd(q0, b, a), reciprocal, q0);
  return Ops::fmadd(Ops::fnmadd(q1, b, a), reciprocal, q1);
}

}  // namespace quillfen
