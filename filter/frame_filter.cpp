#include "filter/frame_filter.h"

#include <cstring>

#include "filter/pass_control.h"
#include "image/planar_conversion.h"
#include "image/yuy2_conversion.h"

namespace quillfen {

namespace {

// The luma plane of a planar frame from the working image, whose Y samples
// are the source's, untouched by the passes.
template <class Sample>
void pack_planar_luma(const Sample* image, int width, int height, Sample* luma, std::ptrdiff_t pitch) {
  for (int y = 0; y < height; ++y) {
    Sample* row = reinterpret_cast<Sample*>(reinterpret_cast<std::uint8_t*>(luma) + y * pitch);
    const Sample* pixel = image + packed_yuv444_size(width, y);
    for (int x = 0; x < width; ++x) row[x] = pixel[kBytesPerPixel * x];
  }
}

}  // namespace

template <class Sample>
FrameFilter::WorkingImages<Sample>::WorkingImages(const FrameFormat& format)
    : current(format.width, format.height), next(format.width, format.height),
      scratch(format.layout == ChromaLayout::k420 ? planar_420_scratch_size(format.width) : 0) {}

FrameFilter::AnyWorkingImages FrameFilter::make_images(const FrameFormat& format) {
  if (format.bits == kFloatBits) return AnyWorkingImages(std::in_place_type<WorkingImages<float>>, format);
  if (format.bits > 8) return AnyWorkingImages(std::in_place_type<WorkingImages<std::uint16_t>>, format);
  return AnyWorkingImages(std::in_place_type<WorkingImages<std::uint8_t>>, format);
}

FrameFilter::FrameFilter(const FrameFormat& format, const QuillfenParameters& parameters, const PassKernel& kernel)
    : format_(format), parameters_(parameters), kernel_(kernel), images_(make_images(format)),
      gaussian_memo_(gaussian_weight_memo_for(parameters.gaussian)),
      pass_workspace_(make_pass_workspace()) {}

void FrameFilter::read(const FramePlanes& source) {
  std::visit([&](auto& images) { read_samples(images, source); }, images_);
}

int FrameFilter::write(const FrameDestination& destination) {
  return std::visit([&](auto& images) { return write_samples(images, destination); }, images_);
}

template <class Sample>
void FrameFilter::read_samples(WorkingImages<Sample>& images, const FramePlanes& source) {
  const auto samples = [](const std::uint8_t* bytes) { return reinterpret_cast<const Sample*>(bytes); };
  const int width = format_.width;
  const int height = format_.height;
  const bool sup = parameters_.sup;
  const SourcePlanesOf<Sample> planes{samples(source.data[0]), samples(source.data[1]), samples(source.data[2]),
                                      source.pitch[0],         source.pitch[1],         source.pitch[2]};
  Sample* current = images.current.data();
  switch (format_.layout) {
    case ChromaLayout::k420: unpack_planar_420(planes, sup, width, height, current, images.scratch.data()); break;
    case ChromaLayout::k422: unpack_planar_422(planes, sup, width, height, current); break;
    case ChromaLayout::k444: unpack_planar_444(planes, width, height, current); break;
    case ChromaLayout::kYuy2:
      if constexpr (sizeof(Sample) == 1)
        unpack_yuy2(source.data[0], static_cast<int>(source.pitch[0]), sup, width, height, current);
      break;
  }
}

template <class Sample>
int FrameFilter::write_samples(WorkingImages<Sample>& images, const FrameDestination& destination) {
  const auto samples = [](std::uint8_t* bytes) { return reinterpret_cast<Sample*>(bytes); };
  const int width = format_.width;
  const int height = format_.height;
  const QuillfenParameters& p = parameters_;
  Sample* current = images.current.data();
  const Sample* next = images.next.data();
  const std::size_t image_bytes = images.current.size_bytes();
  const int passes =
      run_passes(kernel_, {width, height, p.radius, p.gaussian, format_.bits}, p.iterations, p.threshold, current,
                 images.next.data(), gaussian_memo_.get(), *pass_workspace_,
                 [&] { std::memcpy(current, next, image_bytes); }, stop_);
  if (passes == 0) return 0;

  const ChromaPlanesOf<Sample> chroma{samples(destination.data[1]), samples(destination.data[2]),
                                      destination.pitch[1], destination.pitch[2]};
  switch (format_.layout) {
    case ChromaLayout::k420: pack_planar_420_chroma(current, width, height, chroma, images.scratch.data()); break;
    case ChromaLayout::k422: pack_planar_422_chroma(current, width, height, chroma); break;
    case ChromaLayout::k444: pack_planar_444_chroma(current, width, height, chroma); break;
    case ChromaLayout::kYuy2:
      if constexpr (sizeof(Sample) == 1)
        pack_yuy2(current, width, height, destination.data[0], static_cast<int>(destination.pitch[0]));
      return passes;
  }
  if (destination.data[0]) pack_planar_luma(current, width, height, samples(destination.data[0]), destination.pitch[0]);
  return passes;
}

}  // namespace quillfen
