#include "filter/planar_frame_filter.h"

#include <cstring>

#include "filter/pass_control.h"
#include "image/planar_conversion.h"

const char* planar_format_error(const PlanarFormat& format, const QuillfenParameters& parameters) {
  if (format.layout == ChromaLayout::k444) return radius_size_error(format.width, format.height, parameters.radius);
  if (const char* error = frame_size_error(format.width, format.height, parameters.radius)) return error;
  if (format.layout == ChromaLayout::k420 && format.height % 2 != 0)
    return "Quillfen: frame height must be even for 4:2:0.";
  return nullptr;
}

template <class Sample>
PlanarFrameFilter::WorkingImages<Sample>::WorkingImages(const PlanarFormat& format)
    : current(format.width, format.height), next(format.width, format.height),
      scratch(format.layout == ChromaLayout::k420 ? planar_420_scratch_size(format.width) : 0) {}

PlanarFrameFilter::AnyWorkingImages PlanarFrameFilter::make_images(const PlanarFormat& format) {
  if (format.bits > 8) return AnyWorkingImages(std::in_place_type<WorkingImages<std::uint16_t>>, format);
  return AnyWorkingImages(std::in_place_type<WorkingImages<std::uint8_t>>, format);
}

PlanarFrameFilter::PlanarFrameFilter(const PlanarFormat& format, const QuillfenParameters& parameters,
                                     const PassKernel& kernel)
    : format_(format), parameters_(parameters), kernel_(kernel), images_(make_images(format)),
      gaussian_memo_(gaussian_weight_memo_for(parameters.gaussian)), pass_workspace_(make_pass_workspace()) {}

int PlanarFrameFilter::filter(const FramePlanes& source, const ChromaDestination& destination) {
  return std::visit([&](auto& images) { return filter_samples(images, source, destination); }, images_);
}

template <class Sample>
int PlanarFrameFilter::filter_samples(WorkingImages<Sample>& images, const FramePlanes& source,
                                      const ChromaDestination& destination) {
  const auto samples = [](const std::uint8_t* bytes) { return reinterpret_cast<const Sample*>(bytes); };
  const auto writable_samples = [](std::uint8_t* bytes) { return reinterpret_cast<Sample*>(bytes); };
  const int width = format_.width;
  const int height = format_.height;
  const QuillfenParameters& p = parameters_;
  const SourcePlanesOf<Sample> planes{samples(source.data[0]), samples(source.data[1]), samples(source.data[2]),
                                      source.pitch[0],         source.pitch[1],         source.pitch[2]};
  const ChromaPlanesOf<Sample> chroma{writable_samples(destination.data[0]), writable_samples(destination.data[1]),
                                      destination.pitch[0], destination.pitch[1]};
  Sample* current = images.current.data();
  const Sample* next = images.next.data();

  switch (format_.layout) {
    case ChromaLayout::k420: unpack_planar_420(planes, p.sup, width, height, current, images.scratch.data()); break;
    case ChromaLayout::k422: unpack_planar_422(planes, p.sup, width, height, current); break;
    case ChromaLayout::k444: unpack_planar_444(planes, width, height, current); break;
  }
  const std::size_t image_bytes = images.current.size_bytes();
  const int passes =
      run_passes(kernel_, {width, height, p.radius, p.gaussian, format_.bits}, p.iterations, p.threshold, current,
                 images.next.data(), gaussian_memo_.get(), *pass_workspace_, [&] { std::memcpy(current, next, image_bytes); });
  switch (format_.layout) {
    case ChromaLayout::k420: pack_planar_420_chroma(current, width, height, chroma, images.scratch.data()); break;
    case ChromaLayout::k422: pack_planar_422_chroma(current, width, height, chroma); break;
    case ChromaLayout::k444: pack_planar_444_chroma(current, width, height, chroma); break;
  }
  return passes;
}
