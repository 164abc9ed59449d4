#include "plugin/vapoursynth/quillfen_node.h"

#include <cstring>
#include <new>

#include "filter/pass_control.h"
#include "image/planar_conversion.h"
#include "plugin/vapoursynth/working_image_pool.h"

namespace {

struct QuillfenNode {
  QuillfenNode(VSNode* source_, const VSVideoInfo& vi_, const QuillfenParameters& parameters_,
               const PassKernel& kernel_)
      : source(source_), vi(vi_), parameters(parameters_), kernel(kernel_),
        four_two_zero(vi_.format.subSamplingH == 1),
        pool(vi_.width, vi_.height, four_two_zero ? planar_420_scratch_size(vi_.width) : 0, parameters_.gaussian) {}

  VSNode* source;
  const VSVideoInfo vi;
  const QuillfenParameters parameters;
  const PassKernel& kernel;
  const bool four_two_zero;
  WorkingImagePool pool;
};

bool is_accepted_format(const VSVideoFormat& format) {
  return format.colorFamily == cfYUV && format.sampleType == stInteger && format.bitsPerSample == 8 &&
         format.subSamplingW == 1 && (format.subSamplingH == 0 || format.subSamplingH == 1);
}

// The first reason to refuse the call, or null: the clip's format, then the
// parameters and the frame size in the script function's order.
const char* refusal(const VSVideoInfo& vi, const QuillfenParameters& parameters) {
  if (!is_accepted_format(vi.format)) return "Quillfen: YUV422P8 or YUV420P8 data only.";
  if (vi.width == 0 || vi.height == 0) return "Quillfen: clip must have a constant frame size.";
  if (const char* error = parameter_error(parameters)) return error;
  if (const char* error = frame_size_error(vi.width, vi.height, parameters.radius)) return error;
  if (vi.format.subSamplingH == 1 && vi.height % 2 != 0) return "Quillfen: frame height must be even for 4:2:0.";
  if (!chosen_pass_kernel()) return kCpuCapError;
  return nullptr;
}

// An argument left out takes the script function's default; a value beyond
// an int saturates, so that it is refused rather than wrapped into range.
int int_argument(const VSMap* in, const char* name, int fallback, const VSAPI* vsapi) {
  int error = 0;
  const int value = vsapi->mapGetIntSaturated(in, name, 0, &error);
  return error ? fallback : value;
}

QuillfenParameters read_parameters(const VSMap* in, const VSAPI* vsapi) {
  QuillfenParameters parameters;
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    set_value(parameters, parameter, int_argument(in, parameter.name, value_of(parameters, parameter), vsapi));
  return parameters;
}

// VapourSynth's core already stops on a filter whose frames differ from its
// declared format or size; this keeps the module from reading past a frame
// under a host that lets one through.
bool matches_clip(const VSFrame* frame, const VSVideoInfo& vi, const VSAPI* vsapi) {
  const VSVideoFormat* format = vsapi->getVideoFrameFormat(frame);
  return format && format->colorFamily == vi.format.colorFamily && format->sampleType == vi.format.sampleType &&
         format->bitsPerSample == vi.format.bitsPerSample && format->subSamplingW == vi.format.subSamplingW &&
         format->subSamplingH == vi.format.subSamplingH && vsapi->getFrameWidth(frame, 0) == vi.width &&
         vsapi->getFrameHeight(frame, 0) == vi.height;
}

// Takes the source frame's reference. The new frame shares the source's
// luma plane and properties; the source is let go before the passes run.
const VSFrame* filter_frame(QuillfenNode& node, WorkingImages& images, const VSFrame* source, VSCore* core,
                            const VSAPI* vsapi) {
  const int width = node.vi.width;
  const int height = node.vi.height;
  const QuillfenParameters& p = node.parameters;

  const SourcePlanes planes{vsapi->getReadPtr(source, 0), vsapi->getReadPtr(source, 1), vsapi->getReadPtr(source, 2),
                            vsapi->getStride(source, 0),  vsapi->getStride(source, 1),  vsapi->getStride(source, 2)};
  if (node.four_two_zero)
    unpack_planar_420(planes, p.sup, width, height, images.current.data(), images.scratch.get());
  else
    unpack_planar_422(planes, p.sup, width, height, images.current.data());

  const VSFrame* plane_sources[3] = {source, nullptr, nullptr};
  const int source_planes[3] = {0, 1, 2};
  VSFrame* destination =
      vsapi->newVideoFrame2(&node.vi.format, width, height, plane_sources, source_planes, source, core);
  vsapi->freeFrame(source);

  BYTE* current = images.current.data();
  const BYTE* next = images.next.data();
  const std::size_t image_bytes = images.current.size_bytes();
  run_passes(node.kernel, {width, height, p.radius, p.gaussian}, p.iterations, p.threshold, current,
             images.next.data(), images.gaussian_memo.get(), [&] { std::memcpy(current, next, image_bytes); });

  const ChromaPlanes chroma{vsapi->getWritePtr(destination, 1), vsapi->getWritePtr(destination, 2),
                            vsapi->getStride(destination, 1), vsapi->getStride(destination, 2)};
  if (node.four_two_zero)
    pack_planar_420_chroma(current, width, height, chroma, images.scratch.get());
  else
    pack_planar_422_chroma(current, width, height, chroma);
  return destination;
}

const VSFrame* VS_CC get_frame(int n, int activation_reason, void* instance_data, void** /*frame_data*/,
                               VSFrameContext* frame_context, VSCore* core, const VSAPI* vsapi) {
  QuillfenNode& node = *static_cast<QuillfenNode*>(instance_data);
  if (activation_reason == arInitial) {
    vsapi->requestFrameFilter(n, node.source, frame_context);
    return nullptr;
  }
  if (activation_reason != arAllFramesReady) return nullptr;

  const VSFrame* source = vsapi->getFrameFilter(n, node.source, frame_context);
  if (!matches_clip(source, node.vi, vsapi)) {
    vsapi->freeFrame(source);
    vsapi->setFilterError("Quillfen: source frame does not match the clip's format and size.", frame_context);
    return nullptr;
  }
  const WorkingImagePool::Lease images = node.pool.take();
  if (!images) {
    vsapi->freeFrame(source);
    vsapi->setFilterError("Quillfen: out of memory for the working images.", frame_context);
    return nullptr;
  }
  return filter_frame(node, *images, source, core, vsapi);
}

void VS_CC free_node(void* instance_data, VSCore* /*core*/, const VSAPI* vsapi) {
  QuillfenNode* node = static_cast<QuillfenNode*>(instance_data);
  vsapi->freeNode(node->source);
  delete node;
}

}  // namespace

void VS_CC create_vapoursynth_quillfen(const VSMap* in, VSMap* out, void* /*user_data*/, VSCore* core,
                                       const VSAPI* vsapi) {
  VSNode* source = vsapi->mapGetNode(in, "clip", 0, nullptr);
  const VSVideoInfo& vi = *vsapi->getVideoInfo(source);
  const QuillfenParameters parameters = read_parameters(in, vsapi);
  if (const char* error = refusal(vi, parameters)) {
    vsapi->mapSetError(out, error);
    vsapi->freeNode(source);
    return;
  }
  QuillfenNode* node = new (std::nothrow) QuillfenNode(source, vi, parameters, *chosen_pass_kernel());
  if (!node) {
    vsapi->mapSetError(out, "Quillfen: out of memory.");
    vsapi->freeNode(source);
    return;
  }
  const VSFilterDependency dependency{source, rpStrictSpatial};
  vsapi->createVideoFilter(out, kQuillfenFunctionName, &node->vi, get_frame, free_node, fmParallel, &dependency, 1, node, core);
}
