// The byte shuffles of the x86 forms of the planar rows, derived from the
// two layouts they convert between, so each form moves its samples as the
// reference's loop does. A group is one 16-byte vector of each plane, 16
// samples at 8 bits and 8 at 16, and the image's three vectors that hold as
// many pixels (or half as many chroma pairs); the masks work within one such
// vector, which is also one 128-bit lane of a wider one.
#pragma once

#include <array>
#include <cstdint>

namespace quillfen {

template <class Sample>
inline constexpr int kGroup = 16 / sizeof(Sample);

using Mask = std::array<std::int8_t, 16>;

// A shuffle mask whose byte b takes byte `from(b)` of its source, or a zero
// byte where `from` gives -1.
template <class From>
constexpr Mask shuffle_mask(From from) {
  Mask mask{};
  for (int b = 0; b < 16; ++b) mask[b] = static_cast<std::int8_t>(from(b) < 0 ? -128 : from(b));
  return mask;
}

// Byte g of an image group: byte g % S of sample g / S, which is component
// (g / S) % 3 (Y, U, V) of pixel g / S / 3.
template <class Sample, class From>
constexpr std::array<Mask, 3> image_vector_masks(From from_sample) {
  constexpr int S = sizeof(Sample);
  std::array<Mask, 3> masks{};
  for (int i = 0; i < 3; ++i)
    masks[i] = shuffle_mask([=](int b) {
      const int g = 16 * i + b, sample = g / S, at = from_sample(i, sample / 3, sample % 3);
      return at < 0 ? -1 : at * S + g % S;
    });
  return masks;
}

// The inverse: byte b of a plane-side vector takes sample `sample_of(j)` of
// the image group for its sample j = b / S, from image vector i only.
template <class Sample, class SampleOf>
constexpr std::array<Mask, 3> plane_vector_masks(SampleOf sample_of) {
  constexpr int S = sizeof(Sample);
  std::array<Mask, 3> masks{};
  for (int i = 0; i < 3; ++i)
    masks[i] = shuffle_mask([=](int b) {
      const int g = sample_of(b / S) * S + b % S;
      return g / 16 == i ? g % 16 : -1;
    });
  return masks;
}

// Unpacking 4:2:2: image vector i from the group's luma, and from the chroma
// vector that holds each pixel's U and V from pixel i * group / 4 on.
template <class Sample>
inline constexpr auto kUnpack422Luma =
    image_vector_masks<Sample>([](int, int pixel, int component) { return component == 0 ? pixel : -1; });
template <class Sample>
inline constexpr auto kUnpack422Chroma = image_vector_masks<Sample>([](int i, int pixel, int component) {
  return component == 0 ? -1 : 2 * (pixel - i * kGroup<Sample> / 4) + component - 1;
});

// Packing 4:2:2: the group's pairs' U, then their V, from the left pixel of
// each pair (sample 1 of the pair) or the right one (sample 4).
template <class Sample>
constexpr auto pair_chroma_masks(int pixel_in_pair) {
  return plane_vector_masks<Sample>([=](int j) {
    const int pairs = kGroup<Sample> / 2;
    return 6 * (j % pairs) + 3 * pixel_in_pair + 1 + j / pairs;
  });
}
template <class Sample>
inline constexpr auto kPackLeftChroma = pair_chroma_masks<Sample>(0);
template <class Sample>
inline constexpr auto kPackRightChroma = pair_chroma_masks<Sample>(1);

// 4:4:4: image vector i from component c's plane, and back.
template <class Sample>
inline constexpr std::array<std::array<Mask, 3>, 3> kUnpack444 = {
    image_vector_masks<Sample>([](int, int pixel, int component) { return component == 0 ? pixel : -1; }),
    image_vector_masks<Sample>([](int, int pixel, int component) { return component == 1 ? pixel : -1; }),
    image_vector_masks<Sample>([](int, int pixel, int component) { return component == 2 ? pixel : -1; })};
template <class Sample>
inline constexpr auto kPack444U = plane_vector_masks<Sample>([](int j) { return 3 * j + 1; });
template <class Sample>
inline constexpr auto kPack444V = plane_vector_masks<Sample>([](int j) { return 3 * j + 2; });

}  // namespace quillfen
