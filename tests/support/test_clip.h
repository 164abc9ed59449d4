// A source clip for tests: serves frames whose bytes the test sets, with a
// chosen VideoInfo and pitch, and counts what is asked of it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/avisynth_interface.h"

namespace quillfen {

class TestClip : public IClip {
 public:
  // Frames of `vi` (YUY2, or any other format for refusal tests); each row
  // `pitch` bytes apart, pitch at least the row size (0: the row size).
  explicit TestClip(const VideoInfo& vi, int pitch = 0);
  ~TestClip() override;

  // The bytes of frame n: `height` rows of `row_size` bytes, back to back.
  void set_frame(int n, const std::vector<BYTE>& rows);
  // What the passes must leave alone: the bytes between row end and pitch.
  std::vector<BYTE> frame_bytes(int n) const;

  int row_size() const { return row_size_; }
  int pitch() const { return pitch_; }

  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
  bool AVS_STDCALL GetParity(int n) override { return n % 3 == 1; }
  void AVS_STDCALL GetAudio(void* buf, avs_int64 start, avs_int64 count, IScriptEnvironment*) override;
  void AVS_STDCALL SetCacheHints(int, int) override { ++cache_hint_calls; }
  const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi_; }

  // Rows in the frames served; a clip may misreport its size.
  int served_height;
  int frame_requests = 0;
  int cache_hint_calls = 0;
  // Clips destroyed so far, to prove that references do not leak.
  static int destroyed;

 private:
  VideoInfo vi_;
  int row_size_;
  int pitch_;
  std::vector<std::vector<BYTE>> storage_;
  std::vector<std::unique_ptr<VideoFrameBuffer>> buffers_;
  std::vector<std::unique_ptr<VideoFrame>> frames_;
};

// A YUY2 VideoInfo of the given size with audio and a frame rate set, so that
// pass-through of every field is visible.
VideoInfo yuy2_info(int width, int height, int frames = 4);

}  // namespace quillfen
