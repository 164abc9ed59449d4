// One row of each YUY2 conversion (see yuy2_conversion.h), in every form
// (row_variants.h): the reference byte loop, and one built on SSSE3 byte
// shuffles for x86 CPUs that have them, which converts four pixel pairs at a
// time and hands the pairs that do not fill a group to the reference.
#pragma once

#include <cstdint>
#include <span>

#include "cpu/cpu_level.h"

namespace quillfen {

struct Yuy2Rows {
  CpuLevel level;
  // `width` pixels (even, at least 2) from 2 * width bytes of YUY2 at `src`
  // into 3 * width bytes of the working image at `out`.
  void (*unpack)(const std::uint8_t* src, bool sup, int width, std::uint8_t* out);
  // `width` pixels (even, at least 2) of the working image at `in` into
  // 2 * width bytes of YUY2 at `dst`.
  void (*pack)(const std::uint8_t* in, int width, std::uint8_t* dst);
};

// Every form built for this target, the reference first.
std::span<const Yuy2Rows> yuy2_row_variants();

void unpack_yuy2_row_reference(const std::uint8_t* src, bool sup, int width, std::uint8_t* out);
void pack_yuy2_row_reference(const std::uint8_t* in, int width, std::uint8_t* dst);
// Built for x86 targets only.
void unpack_yuy2_row_ssse3(const std::uint8_t* src, bool sup, int width, std::uint8_t* out);
void pack_yuy2_row_ssse3(const std::uint8_t* in, int width, std::uint8_t* dst);

}  // namespace quillfen
