#include "tests/support/test_clip.h"

#include <cstring>
#include <stdexcept>

namespace quillfen {

int TestClip::destroyed = 0;

TestClip::TestClip(const VideoInfo& vi, int pitch) : served_height(vi.height), vi_(vi) {
  row_size_ = vi.IsYUY2() ? 2 * vi.width : vi.width * 4;
  pitch_ = pitch > 0 ? pitch : row_size_;
  if (pitch_ < row_size_) throw std::invalid_argument("pitch below row size");
  storage_.resize(vi.num_frames > 0 ? vi.num_frames : 0);
  for (auto& bytes : storage_) bytes.assign(static_cast<std::size_t>(pitch_) * (vi.height > 0 ? vi.height : 0) + 1, 0xEE);
}

TestClip::~TestClip() { ++destroyed; }

void TestClip::set_frame(int n, const std::vector<BYTE>& rows) {
  auto& bytes = storage_.at(n);
  for (int y = 0; y < vi_.height; ++y)
    std::memcpy(bytes.data() + static_cast<std::size_t>(y) * pitch_, rows.data() + static_cast<std::size_t>(y) * row_size_, row_size_);
}

std::vector<BYTE> TestClip::frame_bytes(int n) const { return storage_.at(n); }

PVideoFrame AVS_STDCALL TestClip::GetFrame(int n, IScriptEnvironment*) {
  ++frame_requests;
  auto& bytes = storage_.at(n);
  buffers_.push_back(std::make_unique<VideoFrameBuffer>(bytes.data(), static_cast<int>(bytes.size())));
  frames_.push_back(std::make_unique<VideoFrame>(buffers_.back().get(), 0, pitch_, row_size_, served_height));
  return frames_.back().get();
}

void AVS_STDCALL TestClip::GetAudio(void* buf, avs_int64 start, avs_int64 count, IScriptEnvironment*) {
  auto* out = static_cast<std::int16_t*>(buf);
  for (avs_int64 i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(start + i);
}

VideoInfo yuy2_info(int width, int height, int frames) {
  VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = 30000;
  vi.fps_denominator = 1001;
  vi.num_frames = frames;
  vi.pixel_type = VideoInfo::CS_YUY2;
  vi.audio_samples_per_second = 48000;
  vi.sample_type = SAMPLE_INT16;
  vi.num_audio_samples = 4800;
  vi.nchannels = 1;
  vi.image_type = VideoInfo::IT_TFF;
  return vi;
}

}  // namespace quillfen
