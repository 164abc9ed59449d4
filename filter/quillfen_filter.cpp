#include "filter/quillfen_filter.h"

#include <climits>
#include <cstddef>

#include "filter/avisynth_messages.h"
#include "filter/pass_control.h"
#include "filter/pass_report.h"
#include "image/yuy2_conversion.h"
#include "propagation/propagation_pass.h"

QuillfenFilter::QuillfenFilter(PClip child_, const QuillfenParameters& parameters_, IScriptEnvironment* env)
    : GenericVideoFilter(child_), parameters(parameters_), width(0), height(0), reports_passes(false) {
  if (!is_exactly_yuy2(vi) && !is_exactly_yv12_or_i420(vi)) env->ThrowError(kYuy2OrYv12Only);
  if (const char* error = parameter_error(parameters)) env->ThrowError(error);
  if (const char* error = frame_size_error(vi.width, vi.height, parameters.radius)) env->ThrowError(error);
  kernel = chosen_pass_kernel();
  if (!kernel) env->ThrowError(kCpuCapError);

  width = vi.width;
  height = vi.height;
  current_image = std::make_unique<PackedYuv444>(width, height);
  next_image = std::make_unique<PackedYuv444>(width, height);
  gaussian_memo = gaussian_weight_memo_for(parameters.gaussian);
  pass_workspace = make_pass_workspace();
  reports_passes = env->FunctionExists(kPassReportFunction);
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
    if (!source || source->GetRowSize() < 2 * width || source->GetHeight() < height)
      env->ThrowError(kSourceFrameTooSmall);
    unpack_yuy2(source->GetReadPtr(), source->GetPitch(), parameters.sup, width, height, current_image->data());
  }
  const int passes =
      run_passes(*kernel, {width, height, parameters.radius, parameters.gaussian}, parameters.iterations,
                 parameters.threshold, current_image->data(), next_image->data(), gaussian_memo.get(), *pass_workspace,
                 [&] { copy_next_to_current(env); });
  pack_yuy2(current_image->data(), width, height, out, destination->GetPitch());
  if (reports_passes) env->Invoke(kPassReportFunction, AVSValue(passes));
  return destination;
}

// One bulk copy of the whole image through the host: as a single row when
// its length fits BitBlt's int sizes, otherwise as its rows back to back.
void QuillfenFilter::copy_next_to_current(IScriptEnvironment* env) {
  const std::size_t length = current_image->size_bytes();
  if (length <= static_cast<std::size_t>(INT_MAX)) {
    const int row = static_cast<int>(length);
    env->BitBlt(current_image->data(), row, next_image->data(), row, row, 1);
  } else {
    const int row = static_cast<int>(packed_yuv444_size(width, 1));
    env->BitBlt(current_image->data(), row, next_image->data(), row, row, height);
  }
}
