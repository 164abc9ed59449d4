#include "image/planar_conversion.h"

#include "image/chroma_420.h"
#include "image/packed_yuv444.h"
#include "image/pixel_pair_rows.h"

void unpack_planar_422(const SourcePlanes& source, bool sup, int width, int height, std::uint8_t* image) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    unpack_pair_row<1, 1>(source.y + y * source.y_pitch, source.u + y * source.u_pitch,
                          source.v + y * source.v_pitch, sup, width, image + y * image_pitch);
}

void pack_planar_422_chroma(const std::uint8_t* image, int width, int height, const ChromaPlanes& destination) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  for (int y = 0; y < height; ++y)
    pack_pair_chroma_row<1>(image + y * image_pitch, width, destination.u + y * destination.u_pitch,
                            destination.v + y * destination.v_pitch);
}

void unpack_planar_420(const SourcePlanes& source, bool sup, int width, int height, std::uint8_t* image,
                       std::uint8_t* scratch) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  const int chroma_width = width / 2;
  std::uint8_t* u_row = scratch;
  std::uint8_t* v_row = scratch + chroma_width;
  for (int y = 0; y < height; ++y) {
    const Chroma420Rows rows = chroma_420_rows_for(y, height);
    interpolate_422_chroma_row<1>(source.u + rows.nearer * source.u_pitch, source.u + rows.farther * source.u_pitch,
                                  chroma_width, u_row);
    interpolate_422_chroma_row<1>(source.v + rows.nearer * source.v_pitch, source.v + rows.farther * source.v_pitch,
                                  chroma_width, v_row);
    unpack_pair_row<1, 1>(source.y + y * source.y_pitch, u_row, v_row, sup, width, image + y * image_pitch);
  }
}

void pack_planar_420_chroma(const std::uint8_t* image, int width, int height, const ChromaPlanes& destination,
                            std::uint8_t* scratch) {
  const std::size_t image_pitch = packed_yuv444_size(width, 1);
  const int chroma_width = width / 2;
  std::uint8_t* upper_u = scratch;
  std::uint8_t* upper_v = upper_u + chroma_width;
  std::uint8_t* lower_u = upper_v + chroma_width;
  std::uint8_t* lower_v = lower_u + chroma_width;
  for (int j = 0; j < height / 2; ++j) {
    const std::uint8_t* upper = image + 2 * j * image_pitch;
    pack_pair_chroma_row<1>(upper, width, upper_u, upper_v);
    pack_pair_chroma_row<1>(upper + image_pitch, width, lower_u, lower_v);
    average_420_chroma_row<1>(upper_u, lower_u, chroma_width, destination.u + j * destination.u_pitch);
    average_420_chroma_row<1>(upper_v, lower_v, chroma_width, destination.v + j * destination.v_pitch);
  }
}
