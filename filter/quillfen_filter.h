// The Quillfen clip: keeps every frame's luma and recomputes its chroma by
// luma-guided propagation, pass after pass, on a full-resolution working
// image. Serves one frame request at a time; separate instances share nothing.
#pragma once

#include <memory>

#include "filter/frame_filter.h"
#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"

namespace quillfen {

// The formats Quillfen takes, by their whole pixel-type values: YUY2 as it
// is, YV12 and I420 through the host's conversion to YUY2. Newer hosts'
// planar formats (4:2:2, 4:4:4, 4:1:1, deeper samples) carry every bit of
// the YV12 code as well, so the interface's own bit tests would let them in.
inline bool is_exactly_yuy2(const VideoInfo& vi) { return vi.pixel_type == VideoInfo::CS_YUY2; }
inline bool is_exactly_yv12_or_i420(const VideoInfo& vi) {
  return vi.pixel_type == VideoInfo::CS_YV12 || vi.pixel_type == VideoInfo::CS_I420;
}

class QuillfenFilter : public GenericVideoFilter {
 public:
  // Checks the format, the parameters, the frame size and the CPU cap, in
  // that order (clip_refusal), reporting the first failure through
  // env->ThrowError; allocates the working images only once every check
  // has passed.
  QuillfenFilter(PClip child, const QuillfenParameters& parameters, IScriptEnvironment* env);

  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override;

 private:
  // Made once every check has passed, so that a frame request allocates
  // nothing but its destination frame.
  std::unique_ptr<FrameFilter> frame_filter;
};

}  // namespace quillfen
