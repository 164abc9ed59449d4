#include "plugin/vapoursynth/quillfen_node.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>

#include "filter/clip_refusal.h"
#include "filter/frame_filter.h"
#include "plugin/vapoursynth/working_image_pool.h"

namespace quillfen {

namespace {

struct QuillfenNode {
  QuillfenNode(VSNode* source_, const VSVideoInfo& vi_, const FrameFormat& format,
               const QuillfenParameters& parameters, const PassKernel& kernel)
      : source(source_), vi(vi_), pool(format, parameters, kernel) {}

  VSNode* source;
  const VSVideoInfo vi;
  WorkingImagePool pool;
};

// The frame format of a clip the filter takes, or nothing.
std::optional<FrameFormat> frame_format_of(const VSVideoInfo& vi) {
  const VSVideoFormat& format = vi.format;
  const bool integer = format.sampleType == stInteger && format.bitsPerSample >= 8 && format.bitsPerSample <= 16;
  const bool single_float = format.sampleType == stFloat && format.bitsPerSample == kFloatBits;
  if (format.colorFamily != cfYUV || !(integer || single_float) || vi.width == 0 || vi.height == 0)
    return std::nullopt;
  ChromaLayout layout;
  if (format.subSamplingW == 1 && format.subSamplingH == 1)
    layout = ChromaLayout::k420;
  else if (format.subSamplingW == 1 && format.subSamplingH == 0)
    layout = ChromaLayout::k422;
  else if (format.subSamplingW == 0 && format.subSamplingH == 0)
    layout = ChromaLayout::k444;
  else
    return std::nullopt;
  return FrameFormat{vi.width, vi.height, layout, format.bitsPerSample};
}

// Why a clip without a frame format the filter takes is refused: its format
// by the host's name, and the resize call that makes one the filter takes,
// keeping the depth (half float to float) and, for YUV, the subsampling
// where the filter has it. Written into `message`: the call allocates nothing.
void format_refusal(const VSVideoInfo& vi, const VSAPI* vsapi, char (&message)[256]) {
  const VSVideoFormat& format = vi.format;
  if (format.colorFamily == cfUndefined) {
    std::snprintf(message, sizeof message, "Quillfen: clip must have a constant format.");
    return;
  }
  const bool taken_depth = format.sampleType == stInteger ? format.bitsPerSample >= 8 && format.bitsPerSample <= 16
                                                          : format.bitsPerSample == kFloatBits;
  if (format.colorFamily == cfYUV && taken_depth && format.subSamplingW <= 1 &&
      format.subSamplingH <= format.subSamplingW) {
    std::snprintf(message, sizeof message, "Quillfen: clip must have a constant frame size.");
    return;
  }
  char name[32] = "";
  if (!vsapi->getVideoFormatName(&format, name)) std::snprintf(name, sizeof name, "an unnamed format");
  char depth[4] = "S";
  if (format.sampleType == stInteger)
    std::snprintf(depth, sizeof depth, "%d", std::clamp(format.bitsPerSample, 8, 16));
  const char* subsampling = "444";
  if (format.colorFamily == cfYUV && format.subSamplingW == 1 && format.subSamplingH == 1) subsampling = "420";
  if (format.colorFamily == cfYUV && format.subSamplingW == 1 && format.subSamplingH == 0) subsampling = "422";
  const char* matrix = format.colorFamily == cfRGB ? ", matrix_s=\"709\"" : "";
  std::snprintf(message, sizeof message,
                "Quillfen: the clip is %s; YUV 4:2:0, 4:2:2 or 4:4:4 with integer samples of 8 to 16 bits or "
                "32-bit float only: convert it first, e.g. core.resize.Bicubic(clip, format=vs.YUV%sP%s%s)",
                name, subsampling, depth, matrix);
}

// The messages for an odd width in 4:2:2 or 4:2:0 and an odd 4:2:0 height,
// naming the clip's format and size and the calls that even it where the
// clip's format allows any size.
void odd_size_refusals(const VSVideoInfo& vi, const VSAPI* vsapi, char (&odd_width)[256],
                       char (&odd_height)[256]) {
  char name[32] = "";
  if (!vsapi->getVideoFormatName(&vi.format, name)) std::snprintf(name, sizeof name, "an unnamed format");
  std::snprintf(odd_width, sizeof odd_width,
                "Quillfen: the clip is %s of %dx%d; %s needs an even width: make it even before the clip becomes "
                "%s, e.g. core.std.Crop(clip, right=1) or core.std.AddBorders(clip, right=1) where it is 4:4:4 "
                "or RGB.",
                name, vi.width, vi.height, vi.format.subSamplingH ? "4:2:0" : "4:2:2", name);
  std::snprintf(odd_height, sizeof odd_height,
                "Quillfen: the clip is %s of %dx%d; 4:2:0 needs an even height: make it even before the clip "
                "becomes %s, e.g. core.std.Crop(clip, bottom=1) or core.std.AddBorders(clip, bottom=1) where it "
                "is 4:4:4 or RGB.",
                name, vi.width, vi.height, name);
}

// An argument left out takes the script function's default; the host's
// 64-bit value is never wrapped into another (int_argument).
int argument(const VSMap* in, const char* name, int fallback, const VSAPI* vsapi) {
  int error = 0;
  const std::int64_t value = vsapi->mapGetInt(in, name, 0, &error);
  return error ? fallback : int_argument(value);
}

QuillfenParameters read_parameters(const VSMap* in, const VSAPI* vsapi) {
  QuillfenParameters parameters;
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    set_value(parameters, parameter, argument(in, parameter.name, value_of(parameters, parameter), vsapi));
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
// luma plane and properties.
const VSFrame* filter_frame(const QuillfenNode& node, FrameFilter& filter, const VSFrame* source,
                            VSCore* core, const VSAPI* vsapi) {
  const VSFrame* plane_sources[3] = {source, nullptr, nullptr};
  const int source_planes[3] = {0, 1, 2};
  VSFrame* destination =
      vsapi->newVideoFrame2(&node.vi.format, node.vi.width, node.vi.height, plane_sources, source_planes, source, core);
  filter.filter({{vsapi->getReadPtr(source, 0), vsapi->getReadPtr(source, 1), vsapi->getReadPtr(source, 2)},
                 {vsapi->getStride(source, 0), vsapi->getStride(source, 1), vsapi->getStride(source, 2)}},
                {{nullptr, vsapi->getWritePtr(destination, 1), vsapi->getWritePtr(destination, 2)},
                 {0, vsapi->getStride(destination, 1), vsapi->getStride(destination, 2)}});
  vsapi->freeFrame(source);
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
  const WorkingImagePool::Lease filter = node.pool.take();
  if (!filter) {
    vsapi->freeFrame(source);
    vsapi->setFilterError("Quillfen: out of memory for the working images.", frame_context);
    return nullptr;
  }
  return filter_frame(node, *filter, source, core, vsapi);
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
  const std::optional<FrameFormat> format = frame_format_of(vi);
  char format_error[256] = "", odd_width[256] = "", odd_height[256] = "";
  if (format)
    odd_size_refusals(vi, vsapi, odd_width, odd_height);
  else
    format_refusal(vi, vsapi, format_error);
  if (const char* error = clip_refusal(format, {format_error, odd_width, odd_height}, parameters)) {
    vsapi->mapSetError(out, error);
    vsapi->freeNode(source);
    return;
  }
  QuillfenNode* node = new (std::nothrow) QuillfenNode(source, vi, *format, parameters, *chosen_pass_kernel());
  if (!node) {
    vsapi->mapSetError(out, "Quillfen: out of memory.");
    vsapi->freeNode(source);
    return;
  }
  const VSFilterDependency dependency{source, rpStrictSpatial};
  vsapi->createVideoFilter(out, kQuillfenFunctionName, &node->vi, get_frame, free_node, fmParallel, &dependency, 1, node, core);
}

}  // namespace quillfen
