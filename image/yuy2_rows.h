// One row of each YUY2 conversion (see yuy2_conversion.h), in two forms that
// store the same bytes: the plain byte loop, which defines the conversion,
// and a form built on SSSE3 byte shuffles for CPUs that have them. The
// shuffling form converts four pixel pairs at a time and hands the pairs
// that do not fill a group to the plain loop.
#pragma once

#include "host/avisynth_interface.h"

// `width` pixels (even, at least 2) from 2 * width bytes of YUY2 at `src`
// into 3 * width bytes of the working image at `out`.
void unpack_yuy2_row(const BYTE* src, bool sup, int width, BYTE* out);
void unpack_yuy2_row_ssse3(const BYTE* src, bool sup, int width, BYTE* out);

// `width` pixels (even, at least 2) of the working image at `in` into
// 2 * width bytes of YUY2 at `dst`.
void pack_yuy2_row(const BYTE* in, int width, BYTE* dst);
void pack_yuy2_row_ssse3(const BYTE* in, int width, BYTE* dst);
