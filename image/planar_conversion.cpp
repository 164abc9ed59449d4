#include "image/planar_conversion.h"

#include <type_traits>

#include "image/chroma_420.h"
#include "image/packed_yuv444.h"
#include "image/pixel_pair_rows.h"

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
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    unpack_pair_row<1, 1>(plane_row(source.y, source.y_pitch, y), plane_row(source.u, source.u_pitch, y),
                          plane_row(source.v, source.v_pitch, y), sup, width, image + y * image_pitch);
}

template <class Sample>
void pack_planar_422_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination) {
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y)
    pack_pair_chroma_row<1>(image + y * image_pitch, width, plane_row(destination.u, destination.u_pitch, y),
                            plane_row(destination.v, destination.v_pitch, y));
}

template <class Sample>
void unpack_planar_420(const SourcePlanesOf<Sample>& source, bool sup, int width, int height, Sample* image,
                       Sample* scratch) {
  const std::size_t image_pitch = image_pitch_of(width);
  const int chroma_width = width / 2;
  Sample* u_row = scratch;
  Sample* v_row = scratch + chroma_width;
  for (int y = 0; y < height; ++y) {
    const Chroma420Rows rows = chroma_420_rows_for(y, height);
    interpolate_422_chroma_row<1>(plane_row(source.u, source.u_pitch, rows.nearer),
                                  plane_row(source.u, source.u_pitch, rows.farther), chroma_width, u_row);
    interpolate_422_chroma_row<1>(plane_row(source.v, source.v_pitch, rows.nearer),
                                  plane_row(source.v, source.v_pitch, rows.farther), chroma_width, v_row);
    unpack_pair_row<1, 1>(plane_row(source.y, source.y_pitch, y), u_row, v_row, sup, width, image + y * image_pitch);
  }
}

template <class Sample>
void pack_planar_420_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination,
                            Sample* scratch) {
  const std::size_t image_pitch = image_pitch_of(width);
  const int chroma_width = width / 2;
  Sample* upper_u = scratch;
  Sample* upper_v = upper_u + chroma_width;
  Sample* lower_u = upper_v + chroma_width;
  Sample* lower_v = lower_u + chroma_width;
  for (int j = 0; j < height / 2; ++j) {
    const Sample* upper = image + 2 * j * image_pitch;
    pack_pair_chroma_row<1>(upper, width, upper_u, upper_v);
    pack_pair_chroma_row<1>(upper + image_pitch, width, lower_u, lower_v);
    average_420_chroma_row<1>(upper_u, lower_u, chroma_width,
                              plane_row(destination.u, destination.u_pitch, j));
    average_420_chroma_row<1>(upper_v, lower_v, chroma_width,
                              plane_row(destination.v, destination.v_pitch, j));
  }
}

template <class Sample>
void unpack_planar_444(const SourcePlanesOf<Sample>& source, int width, int height, Sample* image) {
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y) {
    const Sample* luma = plane_row(source.y, source.y_pitch, y);
    const Sample* u = plane_row(source.u, source.u_pitch, y);
    const Sample* v = plane_row(source.v, source.v_pitch, y);
    Sample* out = image + y * image_pitch;
    for (int x = 0; x < width; ++x) {
      out[3 * x] = luma[x];
      out[3 * x + 1] = u[x];
      out[3 * x + 2] = v[x];
    }
  }
}

template <class Sample>
void pack_planar_444_chroma(const Sample* image, int width, int height, const ChromaPlanesOf<Sample>& destination) {
  const std::size_t image_pitch = image_pitch_of(width);
  for (int y = 0; y < height; ++y) {
    const Sample* in = image + y * image_pitch;
    Sample* u = plane_row(destination.u, destination.u_pitch, y);
    Sample* v = plane_row(destination.v, destination.v_pitch, y);
    for (int x = 0; x < width; ++x) {
      u[x] = in[3 * x + 1];
      v[x] = in[3 * x + 2];
    }
  }
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
