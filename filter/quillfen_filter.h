// The Quillfen clip: keeps every frame's luma and recomputes its chroma by
// luma-guided propagation, pass after pass, on a full-resolution working
// image. Serves one frame request at a time; separate instances share nothing.
#pragma once

#include <memory>

#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"
#include "image/packed_yuv444.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/pass_kernels.h"

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
  // Checks the format and the parameters, in a fixed order, reporting the
  // first failure through env->ThrowError; allocates the working images only
  // once every check has passed.
  QuillfenFilter(PClip child, const QuillfenParameters& parameters, IScriptEnvironment* env);

  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override;

 private:
  void copy_next_to_current(IScriptEnvironment* env);

  const QuillfenParameters parameters;
  int width;
  int height;
  // Whether the host takes each frame's pass count (filter/pass_report.h).
  bool reports_passes;
  std::unique_ptr<PackedYuv444> current_image;
  std::unique_ptr<PackedYuv444> next_image;
  // Chosen and made with the images, so that a frame request allocates
  // nothing but its destination frame; the memo only for the Gaussian form.
  const PassKernel* kernel = nullptr;
  std::unique_ptr<GaussianWeightCache> gaussian_memo;
  std::unique_ptr<PassWorkspace> pass_workspace;
};
