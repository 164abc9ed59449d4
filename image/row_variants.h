// The choice among the forms of a family of row routines. Each family lists
// its forms from its reference, the plain byte loop that defines its bytes,
// up to the widest instruction set; every form stores the reference's bytes.
#pragma once

#include <span>

#include "cpu/cpu_level.h"

namespace quillfen {

// The form the conversions use, chosen at each call (the modules keep no
// state): the best this CPU runs within the QUILLFEN_CPU cap. A cap that
// names no level leaves the reference alone: the filter refuses such a cap
// before it converts a frame, and any other caller still gets the bytes the
// reference defines.
template <class Variant>
const Variant& chosen_row_variant(std::span<const Variant> variants) {
  return best_variant(variants, cpu_cap_from_environment().value_or(CpuLevel::reference));
}

}  // namespace quillfen
