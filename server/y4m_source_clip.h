// A source clip over a Y4M stream whose frames arrive from outside: the
// caller supplies the planes of frame n, then asks the chain built on this
// clip for frame n. Lets each worker of a frame-parallel run feed its own
// chain with the frames a single reader reads, from a file or a pipe alike.
#pragma once

#include "host/avisynth_interface.h"
#include "server/y4m_header.h"

namespace quillfen::server {

class Y4mSourceClip : public IClip {
 public:
  // `num_frames` is the stream's length where known; a stream of unknown
  // length reports the largest int.
  Y4mSourceClip(const Y4mHeader& header, int num_frames);

  // The planes (y4m_frame_bytes(header) bytes) that frame n is made from,
  // until the next call; the caller keeps them alive meanwhile.
  void supply(int n, const BYTE* planes);

  // A new host frame from the supplied planes. Asking for any other frame
  // than the supplied one raises an error through env.
  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
  bool AVS_STDCALL GetParity(int n) override;
  // The stream has no audio: the clip reports none and gives none.
  void AVS_STDCALL GetAudio(void* buf, avs_int64 start, avs_int64 count, IScriptEnvironment* env) override;
  void AVS_STDCALL SetCacheHints(int cachehints, int frame_range) override;
  const VideoInfo& AVS_STDCALL GetVideoInfo() override;

 private:
  Y4mHeader header_;
  VideoInfo vi_;
  int supplied_frame_ = -1;
  const BYTE* supplied_planes_ = nullptr;
};

}  // namespace quillfen::server
