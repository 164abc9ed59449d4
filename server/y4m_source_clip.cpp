#include "server/y4m_source_clip.h"

#include <string>

#include "server/y4m_video_info.h"

namespace quillfen::server {

Y4mSourceClip::Y4mSourceClip(const y4m::Y4mHeader& header, int num_frames)
    : header_(header), vi_(y4m_video_info(header, num_frames)) {}

void Y4mSourceClip::supply(int n, const PVideoFrame* frame) {
  supplied_frame_ = n;
  supplied_ = frame;
}

PVideoFrame AVS_STDCALL Y4mSourceClip::GetFrame(int n, IScriptEnvironment* env) {
  if (n != supplied_frame_ || supplied_ == nullptr) {
    const std::string message = "Y4M source: frame " + std::to_string(n) +
                                " was asked for, but frame " + std::to_string(supplied_frame_) +
                                " is the one read";
    env->ThrowError("%s", message.c_str());
  }
  return *supplied_;
}

bool AVS_STDCALL Y4mSourceClip::GetParity(int) { return y4m_parity(header_); }

void AVS_STDCALL Y4mSourceClip::GetAudio(void*, avs_int64, avs_int64, IScriptEnvironment*) {}

void AVS_STDCALL Y4mSourceClip::SetCacheHints(int, int) {}

const VideoInfo& AVS_STDCALL Y4mSourceClip::GetVideoInfo() { return vi_; }

}  // namespace quillfen::server
