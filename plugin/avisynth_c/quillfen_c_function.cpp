#include "plugin/avisynth_c/quillfen_c_function.h"

#include <memory>
#include <new>

#include "filter/avisynth_messages.h"
#include "filter/quillfen_parameters.h"
#include "plugin/avisynth_c/yuy2_frame_filter.h"
#include "propagation/pass_kernels.h"

namespace {

// Each handle below holds one reference the host counts, and gives it back
// on every path out, an exception's included.
struct ReleaseClip {
  void operator()(AVS_Clip* clip) const { avs_release_clip(clip); }
};
using ClipHandle = std::unique_ptr<AVS_Clip, ReleaseClip>;

struct ReleaseFrame {
  void operator()(AVS_VideoFrame* frame) const { avs_release_video_frame(frame); }
};
using FrameHandle = std::unique_ptr<AVS_VideoFrame, ReleaseFrame>;

class ValueHandle {
 public:
  explicit ValueHandle(AVS_Value value) : value_(value) {}
  ~ValueHandle() { avs_release_value(value_); }
  ValueHandle(const ValueHandle&) = delete;
  ValueHandle& operator=(const ValueHandle&) = delete;

  AVS_Value get() const { return value_; }
  // Hands the reference to the caller.
  AVS_Value release() {
    const AVS_Value value = value_;
    value_ = avs_void;
    return value;
  }

 private:
  AVS_Value value_;
};

bool is_yv12_or_i420(const AVS_VideoInfo& vi) {
  return vi.pixel_type == AVS_CS_YV12 || vi.pixel_type == AVS_CS_I420;
}

// The clip's format, the parameters and the frame size, in the 2.5 filter's
// order, as the first refusal's message, or null.
const char* refusal(const AVS_VideoInfo& vi, const QuillfenParameters& parameters, const PassKernel* kernel) {
  if (vi.pixel_type != AVS_CS_YUY2) return kYuy2OrYv12Only;
  if (const char* error = parameter_error(parameters)) return error;
  if (const char* error = frame_size_error(vi.width, vi.height, parameters.radius)) return error;
  if (!kernel) return kCpuCapError;
  return nullptr;
}

// An argument left out, or of another kind, keeps its default.
QuillfenParameters read_parameters(AVS_Value args) {
  QuillfenParameters parameters;
  int position = 1;
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    const AVS_Value given = avs_array_elt(args, position++);
    const int fallback = value_of(parameters, parameter);
    if (parameter.flag)
      set_value(parameters, parameter, avs_is_bool(given) ? avs_as_bool(given) : fallback);
    else
      set_value(parameters, parameter, avs_is_int(given) ? avs_as_int(given) : fallback);
  }
  return parameters;
}

// The host's conversion `name` of `clip`, or its error value; the message
// given when the host has no such function.
AVS_Value convert(AVS_ScriptEnvironment* env, const char* name, AVS_Value clip, const char* missing_message) {
  if (!avs_function_exists(env, name)) return avs_new_value_error(missing_message);
  return avs_invoke(env, name, clip, nullptr);
}

Yuy2FrameFilter& frame_filter(AVS_FilterInfo* fi) { return *static_cast<Yuy2FrameFilter*>(fi->user_data); }

// Sets the filter's error, for the host to raise, and returns no frame:
// the host's own message when it gave one.
AVS_VideoFrame* fail(AVS_FilterInfo* fi, const char* host_error, const char* error) {
  fi->error = host_error ? host_error : error;
  return nullptr;
}

AVS_VideoFrame* AVSC_CC get_frame(AVS_FilterInfo* fi, int n) noexcept {
  const AVS_VideoInfo& vi = fi->vi;
  FrameHandle destination(avs_new_video_frame_a(fi->env, &vi, AVS_FRAME_ALIGN));
  if (!destination) return fail(fi, avs_get_error(fi->env), "Quillfen: no destination frame.");
  std::uint8_t* out = avs_get_write_ptr_p(destination.get(), AVS_DEFAULT_PLANE);
  if (!out) return fail(fi, nullptr, kDestinationNotWritable);
  {
    // The source frame is let go before the passes run.
    const FrameHandle source(avs_get_frame(fi->child, n));
    if (!source) return fail(fi, avs_clip_get_error(fi->child), "Quillfen: no source frame.");
    // The image is read by this clip's size; a smaller frame would be read
    // past its end.
    if (avs_get_row_size_p(source.get(), AVS_DEFAULT_PLANE) < 2 * vi.width ||
        avs_get_height_p(source.get(), AVS_DEFAULT_PLANE) < vi.height)
      return fail(fi, nullptr, kSourceFrameTooSmall);
    frame_filter(fi).read_source(avs_get_read_ptr_p(source.get(), AVS_DEFAULT_PLANE),
                                 avs_get_pitch_p(source.get(), AVS_DEFAULT_PLANE));
  }
  frame_filter(fi).write_filtered(out, avs_get_pitch_p(destination.get(), AVS_DEFAULT_PLANE));
  return destination.release();
}

// An instance serves one frame at a time: under Prefetch, AviSynth+ is to
// make one per thread.
int AVSC_CC set_cache_hints(AVS_FilterInfo* /*fi*/, int cachehints, int /*frame_range*/) noexcept {
  return cachehints == AVS_CACHE_GET_MTMODE ? AVS_MT_MULTI_INSTANCE : 0;
}

void AVSC_CC free_filter(AVS_FilterInfo* fi) noexcept {
  delete static_cast<Yuy2FrameFilter*>(fi->user_data);
  fi->user_data = nullptr;
}

AVS_Value create(AVS_ScriptEnvironment* env, AVS_Value args) {
  const AVS_Value given = avs_array_elt(args, 0);
  // Decided once on the unconverted source; it governs both conversions.
  // Any other format goes to the checks unconverted, which refuse it.
  const bool planar_source = is_yv12_or_i420(*avs_get_video_info(ClipHandle(avs_take_clip(given, env)).get()));
  ValueHandle converted(planar_source ? convert(env, "ConvertToYUY2", given,
                                                kConvertToYuy2NotFound)
                                      : avs_void);
  if (avs_is_error(converted.get())) return converted.release();
  const AVS_Value source = planar_source ? converted.get() : given;

  // The new filter holds its own reference to the source; until its frame
  // callbacks are set, releasing it frees nothing of this side.
  AVS_FilterInfo* fi = nullptr;
  const ClipHandle filter(avs_new_c_filter(env, &fi, source, 1));
  const QuillfenParameters parameters = read_parameters(args);
  const PassKernel* kernel = chosen_pass_kernel();
  if (const char* error = refusal(fi->vi, parameters, kernel)) return avs_new_value_error(error);
  fi->user_data = new Yuy2FrameFilter(parameters, *kernel, fi->vi.width, fi->vi.height);
  fi->free_filter = free_filter;
  fi->get_frame = get_frame;
  fi->set_cache_hints = set_cache_hints;

  AVS_Value result;
  avs_set_to_clip(&result, filter.get());
  ValueHandle filtered(result);
  if (!planar_source) return filtered.release();
  return convert(env, "ConvertToYV12", filtered.get(), kConvertToYv12NotFound);
}

}  // namespace

AVS_Value AVSC_CC create_quillfen_c(AVS_ScriptEnvironment* env, AVS_Value args, void* /*user_data*/) noexcept {
  try {
    return create(env, args);
  } catch (const std::bad_alloc&) {
    return avs_new_value_error("Quillfen: out of memory.");
  }
}
