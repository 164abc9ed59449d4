// One planar frame of any chroma layout and depth through the filter: its
// planes become the working image, the image gets its passes, and its
// chroma goes back into the chroma planes. The VapourSynth module and the
// command's direct route both stand on it. Luma is never written: the
// caller keeps the source's luma plane (or copies it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "filter/quillfen_parameters.h"
#include "image/packed_yuv444.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/pass_kernels.h"

enum class ChromaLayout { k420, k422, k444 };

struct PlanarFormat {
  int width;
  int height;
  ChromaLayout layout;
  // 8 to 16. Samples of 8 bits are bytes; deeper ones are std::uint16_t in
  // the machine's order, the clip's own codes.
  int bits;
};

// Null when the frame size suits the layout and the radius, else the
// message: 4:2:2 and 4:2:0 are unpacked in pixel pairs (an even width) and
// 4:2:0 in pairs of rows (an even height); 4:4:4 takes any size. The radius
// must stay below the width and the height in every layout.
const char* planar_format_error(const PlanarFormat& format, const QuillfenParameters& parameters);

// Y, U and V; pitches in bytes. Planes of wide samples start and pitch on
// even addresses.
struct FramePlanes {
  const std::uint8_t* data[3];
  std::ptrdiff_t pitch[3];
};

// U and V; pitches in bytes.
struct ChromaDestination {
  std::uint8_t* data[2];
  std::ptrdiff_t pitch[2];
};

// Filters one frame at a time with the working images it owns; separate
// filters share nothing, so each concurrent frame takes a filter of its own.
class PlanarFrameFilter {
 public:
  // `format` and `parameters` as planar_format_error and parameter_error
  // accept them. Allocates every working image here, so that a frame
  // allocates nothing; throws std::bad_alloc when memory runs out.
  PlanarFrameFilter(const PlanarFormat& format, const QuillfenParameters& parameters, const PassKernel& kernel);

  // Reads the source's three planes and writes the destination's chroma
  // planes, which may not overlap the source's. Returns the passes run.
  int filter(const FramePlanes& source, const ChromaDestination& destination);

 private:
  template <class Sample>
  struct WorkingImages {
    explicit WorkingImages(const PlanarFormat& format);
    PackedImage<Sample> current;
    PackedImage<Sample> next;
    std::vector<Sample> scratch;  // rows for the 4:2:0 conversions
  };
  using AnyWorkingImages = std::variant<WorkingImages<std::uint8_t>, WorkingImages<std::uint16_t>>;

  static AnyWorkingImages make_images(const PlanarFormat& format);
  template <class Sample>
  int filter_samples(WorkingImages<Sample>& images, const FramePlanes& source, const ChromaDestination& destination);

  const PlanarFormat format_;
  const QuillfenParameters parameters_;
  const PassKernel& kernel_;
  AnyWorkingImages images_;
  std::unique_ptr<GaussianWeightCache> gaussian_memo_;  // for the Gaussian form only
  std::unique_ptr<PassWorkspace> pass_workspace_;
};
