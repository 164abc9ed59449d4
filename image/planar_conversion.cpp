#include "image/planar_conversion.h"

#include <type_traits>

#include "image/chroma_420.h"
#include "image/packed_yuv444.h"
#include "image/planar_rows.h"
#include "image/row_variants.h"

namespace quillfen {

namespace {

// Row `y` of a plane whose rows lie `pitch` bytes apart.
template <class Sample>
Sample* plane_row(Sample* plane, std::ptrdiff_t pitch, int y) {
  using Byte = std::conditional_t<std::is_const_v<Sample>, const unsigned char, unsigned char>;
  return reinterpret_cast<Sample*>(reinterpret_cast<Byte*>(plane) + y * pitch);
}

// Samples in one row of the image.
std::size_t image_pitch_of(int width) { return packed_yuv444_size(width, 1); }

}  // namespace

template <class Sample>
void unpack_planar_422(const SourcePlanesOf<Sample>& source, bool sup, int width, int height, Sample* image) {
  const auto unpack_row = chosen_row_variant(planar_row_variants<Sample>()).unpack_422;
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    unpack_row(plane_row(source.y, source.y_pitch, y), plane_row(source.u, source.u_pitch, y),
               plane_row(source.v, source.v_pitch, y), sup, width, image + y * image_pitch);
}

template <class Sample>
void pack_planar_422_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination) {
  const auto pack_row = chosen_row_variant(planar_row_variants<Sample>()).pack_422_chroma;
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    pack_row(image + y * image_pitch, width, plane_row(destination.u, destination.u_pitch, y),
             plane_row(destination.v, destination.v_pitch, y));
}

template <class Sample>
void unpack_planar_420(const SourcePlanesOf<Sample>& source, bool sup, int width, int height, Sample* image,
                       Sample* scratch) {
  const PlanarRowsOf<Sample>& rows = chosen_row_variant(planar_row_variants<Sample>());
  const std::size_t image_pitch = image_pitch_of(width);
  const int chroma_width = width / 2;
  Sample* u_row = scratch;
  Sample* v_row = scratch + chroma_width;
  for (int y = 0; y < height; ++y) {
    const Chroma420Rows sources = chroma_420_rows_for(y, height);
    rows.interpolate_420_chroma(plane_row(source.u, source.u_pitch, sources.nearer),
                                plane_row(source.u, source.u_pitch, sources.farther), chroma_width, u_row);
    rows.interpolate_420_chroma(plane_row(source.v, source.v_pitch, sources.nearer),
                                plane_row(source.v, source.v_pitch, sources.farther), chroma_width, v_row);
    rows.unpack_422(plane_row(source.y, source.y_pitch, y), u_row, v_row, sup, width, image + y * image_pitch);
  }
}

template <class Sample>
void pack_planar_420_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination,
                            Sample* scratch) {
  const PlanarRowsOf<Sample>& rows = chosen_row_variant(planar_row_variants<Sample>());
  const std::size_t image_pitch = image_pitch_of(width);
  const int chroma_width = width / 2;
  Sample* upper_u = scratch;
  Sample* upper_v = upper_u + chroma_width;
  Sample* lower_u = upper_v + chroma_width;
  Sample* lower_v = lower_u + chroma_width;
  for (int j = 0; j < height / 2; ++j) {
    const Sample* upper = image + 2 * j * image_pitch;
    rows.pack_422_chroma(upper, width, upper_u, upper_v);
    rows.pack_422_chroma(upper + image_pitch, width, lower_u, lower_v);
    rows.average_420_chroma(upper_u, lower_u, chroma_width, plane_row(destination.u, destination.u_pitch, j));
    rows.average_420_chroma(upper_v, lower_v, chroma_width, plane_row(destination.v, destination.v_pitch, j));
  }
}

template <class Sample>
void unpack_planar_444(const SourcePlanesOf<Sample>& source, int width, int height, Sample* image) {
  const auto unpack_row = chosen_row_variant(planar_row_variants<Sample>()).unpack_444;
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    unpack_row(plane_row(source.y, source.y_pitch, y), plane_row(source.u, source.u_pitch, y),
               plane_row(source.v, source.v_pitch, y), width, image + y * image_pitch);
}

template <class Sample>
void pack_planar_444_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination) {
  const auto pack_row = chosen_row_variant(planar_row_variants<Sample>()).pack_444_chroma;
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    pack_row(image + y * image_pitch, width, plane_row(destination.u, destination.u_pitch, y),
             plane_row(destination.v, destination.v_pitch, y));
}

#define QUILLFEN_PLANAR_CONVERSIONS(Sample)                                                                         \
  template void unpack_planar_422(const SourcePlanesOf<Sample>&, bool, int, int, Sample*);                         \
  template void pack_planar_422_chroma(const Sample*, int, int, const ChromaPlanesOf<Sample>&);                     \
  template void unpack_planar_420(const SourcePlanesOf<Sample>&, bool, int, int, Sample*, Sample*);                \
  template void pack_planar_420_chroma(const Sample*, int, int, const ChromaPlanesOf<Sample>&, Sample*);           \
  template void unpack_planar_444(const SourcePlanesOf<Sample>&, int, int, Sample*);                               \
  template void pack_planar_444_chroma(const Sample*, int, int, const ChromaPlanesOf<Sample>&);
QUILLFEN_PLANAR_CONVERSIONS(std::uint8_t)
QUILLFEN_PLANAR_CONVERSIONS(std::uint16_t)
QUILLFEN_PLANAR_CONVERSIONS(float)

}  // namespace quillfen
