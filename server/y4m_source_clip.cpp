#include "server/y4m_source_clip.h"

#include <string>

#include "server/y4m_frame_conversion.h"

namespace quillfen::server {

Y4mSourceClip::Y4mSourceClip(const Y4mHeader& header, int num_frames)
    : header_(header), vi_(y4m_video_info(header, num_frames)) {}

void Y4mSourceClip::supply(int n, const BYTE* planes) {
  supplied_frame_ = n;
  supplied_planes_ = planes;
}

PVideoFrame AVS_STDCALL Y4mSourceClip::GetFrame(int n, IScriptEnvironment* env) {
  if (n != supplied_frame_ || supplied_planes_ == nullptr) {
    const std::string message = "Y4M source: frame " + std::to_string(n) +
                                " was asked for, but frame " + std::to_string(supplied_frame_) +
                                " is the one read";
    env->ThrowError("%s", message.c_str());
  }
  PVideoFrame frame = env->NewVideoFrame(vi_, FRAME_ALIGN);
  if (!frame || !frame->GetWritePtr()) env->ThrowError("Y4M source: the new frame is not writable");
  y4m_planes_to_frame(header_, supplied_planes_, frame);
  return frame;
}

bool AVS_STDCALL Y4mSourceClip::GetParity(int) { return y4m_parity(header_); }

void AVS_STDCALL Y4mSourceClip::GetAudio(void*, avs_int64, avs_int64, IScriptEnvironment*) {}

void AVS_STDCALL Y4mSourceClip::SetCacheHints(int, int) {}

const VideoInfo& AVS_STDCALL Y4mSourceClip::GetVideoInfo() { return vi_; }

}  // namespace quillfen::server
