#include "filter/quillfen_filter.h"

#include <optional>

#include "filter/avisynth_messages.h"
#include "filter/clip_refusal.h"

namespace quillfen {

QuillfenFilter::QuillfenFilter(PClip child_, const QuillfenParameters& parameters, IScriptEnvironment* env)
    : GenericVideoFilter(child_) {
  // YV12 and I420 pass only to be wrapped in the host's conversions to and
  // from YUY2 (the factory's), so the filter itself sees YUY2 frames.
  const std::optional<FrameFormat> format =
      is_exactly_yuy2(vi) || is_exactly_yv12_or_i420(vi)
          ? std::optional<FrameFormat>(FrameFormat{vi.width, vi.height, ChromaLayout::kYuy2, 8})
          : std::nullopt;
  char odd_width[256], odd_height[256];
  const bool yuy2 = is_exactly_yuy2(vi);
  avisynth_odd_size_refusals(yuy2 ? "YUY2" : "YV12", yuy2 ? "YUY2" : "4:2:0", vi.width, vi.height, odd_width,
                             odd_height);
  if (const char* error =
          clip_refusal(format, {vi.width == 0 ? kNoVideo : kYuy2OrYv12Only, odd_width, odd_height}, parameters))
    env->ThrowError(error);
  frame_filter = std::make_unique<FrameFilter>(*format, parameters, *chosen_pass_kernel());
}

PVideoFrame AVS_STDCALL QuillfenFilter::GetFrame(int n, IScriptEnvironment* env) {
  // A YV12 clip passes the format check only to be wrapped in the host's
  // conversions; its own frames are planes this filter cannot read.
  if (!is_exactly_yuy2(vi)) env->ThrowError("Quillfen: YV12 frames must be converted to YUY2 before the filter.");
  PVideoFrame destination = env->NewVideoFrame(vi, FRAME_ALIGN);
  BYTE* out = destination->GetWritePtr();
  if (!out) env->ThrowError(kDestinationNotWritable);
  {
    // The source frame is let go before the passes run.
    PVideoFrame source = child->GetFrame(n, env);
    // The image is read by this clip's size; a smaller frame would be read
    // past its end.
    if (!source || source->GetRowSize() < 2 * vi.width || source->GetHeight() < vi.height)
      env->ThrowError(kSourceFrameTooSmall);
    frame_filter->read({{source->GetReadPtr(), nullptr, nullptr}, {source->GetPitch(), 0, 0}});
  }
  frame_filter->write({{out, nullptr, nullptr}, {destination->GetPitch(), 0, 0}});
  return destination;
}

}  // namespace quillfen
