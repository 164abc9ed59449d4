// One row of 4:2:2 between its three planes (Y, U, V) and YUY2 (Y0 U Y1 V
// per pixel pair), in every form (row_variants.h): the reference byte loop,
// and one for x86 that moves sixteen pairs at a time with SSE2 byte
// interleaving and packing and hands the remaining pairs to the reference.
#pragma once

#include <cstdint>
#include <span>

#include "cpu/cpu_level.h"

struct PlanarYuy2Rows {
  CpuLevel level;
  // `pairs` pairs of Y (2 * pairs bytes), U and V (pairs bytes each) into
  // 4 * pairs bytes of YUY2.
  void (*interleave)(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int pairs,
                     std::uint8_t* out);
  // 4 * pairs bytes of YUY2 into its Y, U and V.
  void (*split)(const std::uint8_t* in, int pairs, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v);
};

// Every form built for this target, the reference first.
std::span<const PlanarYuy2Rows> planar_yuy2_row_variants();

void interleave_yuy2_row_reference(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int pairs,
                                   std::uint8_t* out);
void split_yuy2_row_reference(const std::uint8_t* in, int pairs, std::uint8_t* y, std::uint8_t* u,
                              std::uint8_t* v);
// Built for x86 targets only.
void interleave_yuy2_row_sse2(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int pairs,
                              std::uint8_t* out);
void split_yuy2_row_sse2(const std::uint8_t* in, int pairs, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v);
