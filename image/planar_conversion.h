// Conversion between planar 4:2:2, 4:2:0 or 4:4:4 frames and the working
// image, at any depth: samples are bytes at 8 bits and 16-bit codes from 9
// to 16 bits, the arithmetic the same at every depth. The 4:2:2 pair
// arithmetic is YUY2's (image/pixel_pair_rows.h) and the 4:2:0 chroma rows
// are resampled to and from 4:2:2 as image/chroma_420.h does, so an 8-bit
// planar frame gives the same bytes as the same picture in YUY2 or YV12.
// 4:4:4 is the working image's own layout: its samples are copied as they
// are, so `sup` has nothing to decide there. Luma is read but never
// written: it leaves the image as it came in, so a caller can keep the
// source's luma plane. Each row goes through the form of image/planar_rows.h
// that this CPU and the QUILLFEN_CPU cap choose, at each call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillfen {

// Pitches are in bytes, whatever the sample; a plane of 16-bit samples
// starts and pitches on an even address.
template <class Sample>
struct SourcePlanesOf {
  const Sample* y;
  const Sample* u;
  const Sample* v;
  std::ptrdiff_t y_pitch;
  std::ptrdiff_t u_pitch;
  std::ptrdiff_t v_pitch;
};

template <class Sample>
struct ChromaPlanesOf {
  Sample* u;
  Sample* v;
  std::ptrdiff_t u_pitch;
  std::ptrdiff_t v_pitch;
};

using SourcePlanes = SourcePlanesOf<std::uint8_t>;
using ChromaPlanes = ChromaPlanesOf<std::uint8_t>;

// Samples of the scratch rows the 4:2:0 conversions need for a frame
// `width` pixels wide: two 4:2:2 rows of U and of V.
inline std::size_t planar_420_scratch_size(int width) { return 2 * static_cast<std::size_t>(width); }

// Each function is built for Sample std::uint8_t, std::uint16_t and float
// (image/float_planar_rows.cpp: the same formulas without rounding);
// `image` holds width x height pixels of three samples.

// Fills the whole image (width even and at least 2) from 4:2:2 planes,
// `sup` deciding the second pixel of each pair.
template <class Sample>
void unpack_planar_422(const SourcePlanesOf<Sample>& source, bool sup, int width, int height, Sample* image);

// Writes the chroma planes of a 4:2:2 frame from the image.
template <class Sample>
void pack_planar_422_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination);

// As unpack_planar_422, from 4:2:0 planes (height even): each row's 4:2:2
// chroma is interpolated into `scratch` first.
template <class Sample>
void unpack_planar_420(const SourcePlanesOf<Sample>& source, bool sup, int width, int height, Sample* image,
                       Sample* scratch);

// Writes the chroma planes of a 4:2:0 frame (height even) from the image:
// two rows' 4:2:2 chroma is packed into `scratch`, then averaged.
template <class Sample>
void pack_planar_420_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination,
                            Sample* scratch);

// Fills the whole image (any width and height) from 4:4:4 planes.
template <class Sample>
void unpack_planar_444(const SourcePlanesOf<Sample>& source, int width, int height, Sample* image);

// Writes the chroma planes of a 4:4:4 frame from the image.
template <class Sample>
void pack_planar_444_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination);

}  // namespace quillfen
