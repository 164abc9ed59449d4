// A source clip over a Y4M stream whose frames arrive from outside: the
// caller supplies frame n, made from its planes, then asks the chain built
// on this clip for frame n. Lets each worker of a frame-parallel run feed
// its own chain with the frames a single reader reads and converts, from a
// file or a pipe alike.
#pragma once

#include "host/avisynth_interface.h"
#include "y4m/y4m_header.h"

namespace quillfen::server {

class Y4mSourceClip : public IClip {
 public:
  // `num_frames` is the stream's length where known; a stream of unknown
  // length reports the largest int.
  Y4mSourceClip(const y4m::Y4mHeader& header, int num_frames);

  // The frame that frame n is, made from its planes by y4m_planes_to_frame,
  // until the next call; the caller keeps it alive meanwhile. A null
  // `frame` leaves the clip without one.
  void supply(int n, const PVideoFrame* frame);

  // The supplied frame. Asking for any other frame than the supplied one
  // raises an error through env.
  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
  bool AVS_STDCALL GetParity(int n) override;
  // The stream has no audio: the clip reports none and gives none.
  void AVS_STDCALL GetAudio(void* buf, avs_int64 start, avs_int64 count, IScriptEnvironment* env) override;
  void AVS_STDCALL SetCacheHints(int cachehints, int frame_range) override;
  const VideoInfo& AVS_STDCALL GetVideoInfo() override;

 private:
  y4m::Y4mHeader header_;
  VideoInfo vi_;
  int supplied_frame_ = -1;
  const PVideoFrame* supplied_ = nullptr;
};

}  // namespace quillfen::server
