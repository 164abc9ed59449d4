#include "plugin/avisynth_c/quillfen_function.h"

#include <memory>
#include <new>
#include <optional>

#include "filter/avisynth_messages.h"
#include "filter/clip_refusal.h"
#include "filter/frame_filter.h"
#include "filter/quillfen_parameters.h"
#include "plugin/avisynth_c/clip_format.h"

namespace quillfen {

namespace {

// One filter instance: the frame filter and the host's entry points. The
// host makes one instance per thread that asks for frames (MT_MULTI_INSTANCE).
struct Instance {
  const HostApi& api;
  FrameFilter frame_filter;
  // Whether new frames take their source's properties (interface 8 on).
  bool keeps_properties;
};

Instance& instance_of(AVS_FilterInfo* fi) { return *static_cast<Instance*>(fi->user_data); }

// A reference the host counts (a frame or a clip), given back on every
// path out by the host's own release call.
template <class Object, auto HostApi::*kRelease>
class HostReference {
 public:
  HostReference(const HostApi& api, Object* object) : api_(api), object_(object) {}
  ~HostReference() {
    if (object_) (api_.*kRelease)(object_);
  }
  HostReference(const HostReference&) = delete;
  HostReference& operator=(const HostReference&) = delete;
  Object* get() const { return object_; }
  Object* release() {
    Object* object = object_;
    object_ = nullptr;
    return object;
  }

 private:
  const HostApi& api_;
  Object* object_;
};
using FrameHandle = HostReference<AVS_VideoFrame, &HostApi::avs_release_video_frame>;
using ClipHandle = HostReference<AVS_Clip, &HostApi::avs_release_clip>;

constexpr int kPlanes[3] = {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V};

// Whether a source frame holds every sample the frame filter reads for the
// clip's format: a smaller one would be read past its end.
bool holds_clip(const HostApi& api, const AVS_VideoFrame* frame, const FrameFormat& format) {
  if (format.layout == ChromaLayout::kYuy2)
    return api.avs_get_row_size_p(frame, AVS_DEFAULT_PLANE) >= 2 * format.width &&
           api.avs_get_height_p(frame, AVS_DEFAULT_PLANE) >= format.height;
  const int sample_bytes = bytes_per_sample(format);
  const int chroma_width = format.layout == ChromaLayout::k444 ? format.width : format.width / 2;
  const int chroma_height = format.layout == ChromaLayout::k420 ? format.height / 2 : format.height;
  for (const int plane : kPlanes) {
    const bool luma = plane == AVS_PLANAR_Y;
    if (api.avs_get_row_size_p(frame, plane) < (luma ? format.width : chroma_width) * sample_bytes ||
        api.avs_get_height_p(frame, plane) < (luma ? format.height : chroma_height))
      return false;
  }
  return true;
}

FramePlanes planes_of(const HostApi& api, const AVS_VideoFrame* frame, const FrameFormat& format) {
  if (format.layout == ChromaLayout::kYuy2)
    return {{api.avs_get_read_ptr_p(frame, AVS_DEFAULT_PLANE), nullptr, nullptr},
            {api.avs_get_pitch_p(frame, AVS_DEFAULT_PLANE), 0, 0}};
  FramePlanes planes{};
  for (int i = 0; i < 3; ++i) {
    planes.data[i] = api.avs_get_read_ptr_p(frame, kPlanes[i]);
    planes.pitch[i] = api.avs_get_pitch_p(frame, kPlanes[i]);
  }
  return planes;
}

// The destination's planes, or nothing when one is not writable.
std::optional<FrameDestination> destination_of(const HostApi& api, const AVS_VideoFrame* frame,
                                               const FrameFormat& format) {
  FrameDestination destination{};
  const int count = format.layout == ChromaLayout::kYuy2 ? 1 : 3;
  for (int i = 0; i < count; ++i) {
    const int plane = count == 1 ? AVS_DEFAULT_PLANE : kPlanes[i];
    destination.data[i] = api.avs_get_write_ptr_p(frame, plane);
    destination.pitch[i] = api.avs_get_pitch_p(frame, plane);
    if (!destination.data[i]) return std::nullopt;
  }
  return destination;
}

// Sets the filter's error, for the host to raise, and returns no frame:
// the host's own message when it gave one.
AVS_VideoFrame* fail(AVS_FilterInfo* fi, const char* host_error, const char* error) {
  fi->error = host_error ? host_error : error;
  return nullptr;
}

AVS_VideoFrame* AVSC_CC get_frame(AVS_FilterInfo* fi, int n) noexcept {
  Instance& instance = instance_of(fi);
  const HostApi& api = instance.api;
  const FrameFormat& format = instance.frame_filter.format();
  FrameHandle source(api, api.avs_get_frame(fi->child, n));
  if (!source.get()) return fail(fi, api.avs_clip_get_error(fi->child), "Quillfen: no source frame.");
  if (!holds_clip(api, source.get(), format)) return fail(fi, nullptr, kSourceFrameTooSmall);
  // The new frame takes the source's properties where the host can copy
  // them; it is made before the source is let go for that reason.
  FrameHandle destination(api, instance.keeps_properties
                                   ? api.avs_new_video_frame_p_a(fi->env, &fi->vi, source.get(), AVS_FRAME_ALIGN)
                                   : api.avs_new_video_frame_a(fi->env, &fi->vi, AVS_FRAME_ALIGN));
  // The host says why it could not make the frame (out of memory, with
  // its limit and the request).
  if (!destination.get()) return fail(fi, api.avs_get_error(fi->env), "Quillfen: no destination frame.");
  const std::optional<FrameDestination> planes = destination_of(api, destination.get(), format);
  if (!planes) return fail(fi, nullptr, kDestinationNotWritable);
  instance.frame_filter.read(planes_of(api, source.get(), format));
  // The source frame is let go before the passes run.
  api.avs_release_video_frame(source.release());
  instance.frame_filter.write(*planes);
  return destination.release();
}

// An instance serves one frame at a time: under Prefetch, AviSynth+ is to
// make one per thread.
int AVSC_CC set_cache_hints(AVS_FilterInfo* /*fi*/, int cachehints, int /*frame_range*/) noexcept {
  return cachehints == AVS_CACHE_GET_MTMODE ? AVS_MT_MULTI_INSTANCE : 0;
}

void AVSC_CC free_filter(AVS_FilterInfo* fi) noexcept {
  delete static_cast<Instance*>(fi->user_data);
  fi->user_data = nullptr;
}

// An argument left out, or of another kind, keeps its default. An int
// comes as the script wrote it, 64 bits wide where the host has them (the
// module declares it takes them, plugin_entry.cpp), and is never wrapped.
QuillfenParameters read_parameters(AVS_Value args) {
  QuillfenParameters parameters;
  int position = 1;
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    const AVS_Value given = avs_array_elt(args, position++);
    const int fallback = value_of(parameters, parameter);
    if (parameter.flag)
      set_value(parameters, parameter, avs_is_bool(given) ? avs_as_bool(given) : fallback);
    else
      set_value(parameters, parameter, avs_is_int(given) ? int_argument(avs_as_long(given)) : fallback);
  }
  return parameters;
}

// The host's copy of a message: the error value is read after the call.
AVS_Value error_value(const HostApi& api, AVS_ScriptEnvironment* env, const char* message) {
  const char* saved = api.avs_save_string(env, message, -1);
  return avs_new_value_error(saved ? saved : "Quillfen: out of memory.");
}

AVS_Value create(const HostApi& api, AVS_ScriptEnvironment* env, AVS_Value args) {
  // The new filter holds its own reference to the source; until its frame
  // callbacks are set, releasing it frees nothing of this side.
  AVS_FilterInfo* fi = nullptr;
  const ClipHandle filter(api, api.avs_new_c_filter(env, &fi, avs_array_elt(args, 0), 1));
  const std::optional<FrameFormat> format = frame_format_of(fi->vi);
  char format_error[256] = "", odd_width[256] = "", odd_height[256] = "";
  if (format)
    odd_size_refusals(fi->vi, odd_width, odd_height);
  else
    format_refusal(fi->vi, format_error);
  const QuillfenParameters parameters = read_parameters(args);
  if (const char* error = clip_refusal(format, {format_error, odd_width, odd_height}, parameters))
    return error_value(api, env, error);
  const bool keeps_properties = api.avs_new_video_frame_p_a && api.avs_check_version(env, 8) == 0;
  fi->user_data = new Instance{api, FrameFilter(*format, parameters, *chosen_pass_kernel()), keeps_properties};
  fi->free_filter = free_filter;
  fi->get_frame = get_frame;
  fi->set_cache_hints = set_cache_hints;
  AVS_Value result;
  api.avs_set_to_clip(&result, filter.get());
  return result;
}

}  // namespace

AVS_Value AVSC_CC create_quillfen_c(AVS_ScriptEnvironment* env, AVS_Value args, void* user_data) noexcept {
  const HostApi& api = *static_cast<const HostApi*>(user_data);
  try {
    return create(api, env, args);
  } catch (const std::bad_alloc&) {
    return avs_new_value_error("Quillfen: out of memory.");
  }
}

}  // namespace quillfen
