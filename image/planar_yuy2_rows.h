// One row of 4:2:2 between its three planes (Y, U, V) and YUY2 (Y0 U Y1 V
// per pixel pair), in two forms that store the same bytes: the plain byte
// loop, which defines the conversion, and the form the Y4M frame
// conversion uses, which moves sixteen pairs at a time with SSE2 byte
// interleaving and packing and hands the remaining pairs to the plain loop.
#pragma once

#include "host/avisynth_interface.h"

// `pairs` pairs of Y (2 * pairs bytes), U and V (pairs bytes each) into
// 4 * pairs bytes of YUY2.
void interleave_yuy2_row(const BYTE* y, const BYTE* u, const BYTE* v, int pairs, BYTE* out);
void interleave_yuy2_row_plain(const BYTE* y, const BYTE* u, const BYTE* v, int pairs, BYTE* out);

// 4 * pairs bytes of YUY2 into its Y, U and V.
void split_yuy2_row(const BYTE* in, int pairs, BYTE* y, BYTE* u, BYTE* v);
void split_yuy2_row_plain(const BYTE* in, int pairs, BYTE* y, BYTE* u, BYTE* v);
