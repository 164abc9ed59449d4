#include "propagation/exp2_fraction_table.h"

#include "propagation/wide_fixed.h"

namespace quillfen {

namespace {
constexpr Exp2FractionTable make_table() {
  using Fixed = WideFixed<6>;
  const Fixed step = wide_exp(wide_ln2<6>().divided_by(kExp2Fractions));
  Exp2FractionTable table{};
  Fixed exact = Fixed::integer(1);
  for (int j = 0; j < kExp2Fractions; ++j, exact = exact * step) {
    const double hi = exact.to_double();
    const double x = (exact - Fixed::from_double(hi)).to_double() / hi;
    table.entry[j] = {hi, x - x * x / 2};
  }
  return table;
}
}  // namespace

alignas(64) constexpr Exp2FractionTable kExp2FractionTable = make_table();

}  // namespace quillfen
