#include "server/builtin_conversions.h"

#include "server/format_conversion.h"

namespace quillfen::server {
namespace {

class ConvertedClip : public GenericVideoFilter {
 public:
  using Convert = void (*)(const VideoFrame&, VideoFrame&, int, int);

  ConvertedClip(PClip source, int pixel_type, Convert convert) : GenericVideoFilter(source), convert_(convert) {
    vi.pixel_type = pixel_type;
  }

  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override {
    PVideoFrame destination = env->NewVideoFrame(vi);
    const PVideoFrame source = child->GetFrame(n, env);
    convert_(*source.get(), *destination.get(), vi.width, vi.height);
    return destination;
  }

 private:
  Convert convert_;
};

AVSValue AVS_CDECL convert_to_yuy2(AVSValue args, void*, IScriptEnvironment* env) {
  const PClip source = args[0].AsClip();
  const VideoInfo& vi = source->GetVideoInfo();
  if (vi.IsYUY2()) return AVSValue(source);
  if (!vi.IsYV12()) env->ThrowError("ConvertToYUY2: the source must be YV12, I420 or YUY2");
  if (vi.width % 2 != 0 || vi.height % 2 != 0)
    env->ThrowError("ConvertToYUY2: a 4:2:0 source needs an even width and height, not %dx%d", vi.width, vi.height);
  return AVSValue(new ConvertedClip(source, VideoInfo::CS_YUY2, convert_420_to_yuy2));
}

AVSValue AVS_CDECL convert_to_yv12(AVSValue args, void*, IScriptEnvironment* env) {
  const PClip source = args[0].AsClip();
  const VideoInfo& vi = source->GetVideoInfo();
  if (vi.IsYV12()) return AVSValue(source);
  if (!vi.IsYUY2()) env->ThrowError("ConvertToYV12: the source must be YUY2, YV12 or I420");
  if (vi.width % 2 != 0 || vi.height % 2 != 0)
    env->ThrowError("ConvertToYV12: 4:2:0 needs an even width and height, not %dx%d", vi.width, vi.height);
  return AVSValue(new ConvertedClip(source, VideoInfo::CS_YV12, convert_yuy2_to_420));
}

}  // namespace

void register_builtin_conversions(IScriptEnvironment& env) {
  env.AddFunction("ConvertToYUY2", "c", convert_to_yuy2, nullptr);
  env.AddFunction("ConvertToYV12", "c", convert_to_yv12, nullptr);
}

}  // namespace quillfen::server
