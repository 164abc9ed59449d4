// Conversion between planar 8-bit 4:2:2 or 4:2:0 frames and the working
// image. The pair arithmetic is YUY2's (image/pixel_pair_rows.h) and the
// 4:2:0 chroma rows are resampled to and from 4:2:2 as image/chroma_420.h
// does, so a planar frame gives the same bytes as the same picture in YUY2
// or YV12. Luma is read but never written: it leaves the image as it came
// in, so a caller can keep the source's luma plane.
#pragma once

#include <cstddef>
#include <cstdint>

struct SourcePlanes {
  const std::uint8_t* y;
  const std::uint8_t* u;
  const std::uint8_t* v;
  std::ptrdiff_t y_pitch;
  std::ptrdiff_t u_pitch;
  std::ptrdiff_t v_pitch;
};

struct ChromaPlanes {
  std::uint8_t* u;
  std::uint8_t* v;
  std::ptrdiff_t u_pitch;
  std::ptrdiff_t v_pitch;
};

// Bytes of the scratch rows the 4:2:0 conversions need for a frame `width`
// pixels wide: two 4:2:2 rows of U and of V.
inline std::size_t planar_420_scratch_size(int width) { return 2 * static_cast<std::size_t>(width); }

// Fills the whole image (width x height pixels, width even and at least 2)
// from 4:2:2 planes, `sup` deciding the second pixel of each pair.
void unpack_planar_422(const SourcePlanes& source, bool sup, int width, int height, std::uint8_t* image);

// Writes the chroma planes of a 4:2:2 frame from the image.
void pack_planar_422_chroma(const std::uint8_t* image, int width, int height, const ChromaPlanes& destination);

// As unpack_planar_422, from 4:2:0 planes (height even): each row's 4:2:2
// chroma is interpolated into `scratch` first.
void unpack_planar_420(const SourcePlanes& source, bool sup, int width, int height, std::uint8_t* image,
                       std::uint8_t* scratch);

// Writes the chroma planes of a 4:2:0 frame (height even) from the image:
// two rows' 4:2:2 chroma is packed into `scratch`, then averaged.
void pack_planar_420_chroma(const std::uint8_t* image, int width, int height, const ChromaPlanes& destination,
                            std::uint8_t* scratch);
