// The built-in ConvertToYUY2 and ConvertToYV12: chroma siting, exactness on
// flat chroma, plane order and refusals.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/packed_yuv444.h"
#include "image/planar_conversion.h"
#include "image/yuy2_conversion.h"
#include "server/script_environment.h"
#include "tests/support/test_clip.h"

namespace quillfen {

namespace {

using quillfen::server::ScriptEnvironment;

// Sample value of a plane at (x, y), in plane coordinates.
using PlaneFill = std::function<BYTE(int plane, int x, int y)>;

// A 4:2:0 clip of one repeated frame made in the environment's pool.
class PlanarClip : public IClip {
 public:
  PlanarClip(IScriptEnvironment& env, int pixel_type, int width, int height, const PlaneFill& fill)
      : vi_(yuy2_info(width, height, 3)) {
    vi_.pixel_type = pixel_type;
    frame_ = env.NewVideoFrame(vi_);
    for (int plane : {PLANAR_Y, PLANAR_U, PLANAR_V})
      for (int y = 0; y < frame_->GetHeight(plane); ++y)
        for (int x = 0; x < frame_->GetRowSize(plane); ++x)
          frame_->GetWritePtr(plane)[y * frame_->GetPitch(plane) + x] = fill(plane, x, y);
  }
  PVideoFrame AVS_STDCALL GetFrame(int, IScriptEnvironment*) override { return frame_; }
  bool AVS_STDCALL GetParity(int) override { return false; }
  void AVS_STDCALL GetAudio(void*, avs_int64, avs_int64, IScriptEnvironment*) override {}
  void AVS_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi_; }

 private:
  VideoInfo vi_;
  PVideoFrame frame_;
};

// A YUY2 source whose pitch exceeds its row size.
PClip yuy2_clip(int width, int height, const std::function<BYTE(int byte, int y)>& fill) {
  auto* clip = new TestClip(yuy2_info(width, height), 2 * width + 24);
  std::vector<BYTE> rows;
  for (int y = 0; y < height; ++y)
    for (int byte = 0; byte < 2 * width; ++byte) rows.push_back(fill(byte, y));
  for (int n = 0; n < 4; ++n) clip->set_frame(n, rows);
  return clip;
}

PClip convert(ScriptEnvironment& env, const char* function, const PClip& clip) {
  return env.Invoke(function, AVSValue(clip)).AsClip();
}

BYTE at(const PVideoFrame& frame, int plane, int x, int y) {
  return frame->GetReadPtr(plane)[y * frame->GetPitch(plane) + x];
}

BYTE luma_pattern(int x, int y) { return static_cast<BYTE>(16 + 7 * x + 29 * y); }

class FormatConversion : public ::testing::Test {
 protected:
  ScriptEnvironment env;
};

TEST_F(FormatConversion, FlatChromaIsExactBothWaysAndLumaIsCopied) {
  const PClip planar = new PlanarClip(env, VideoInfo::CS_YV12, 10, 6, [](int plane, int x, int y) {
    return plane == PLANAR_Y ? luma_pattern(x, y) : plane == PLANAR_U ? BYTE{77} : BYTE{201};
  });
  const PClip packed = convert(env, "ConvertToYUY2", planar);
  ASSERT_TRUE(packed->GetVideoInfo().IsYUY2());
  const PVideoFrame frame = packed->GetFrame(0, &env);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; x += 2) {
      const BYTE* pair = frame->GetReadPtr() + y * frame->GetPitch() + 2 * x;
      EXPECT_EQ(pair[0], luma_pattern(x, y));
      EXPECT_EQ(pair[1], 77);
      EXPECT_EQ(pair[2], luma_pattern(x + 1, y));
      EXPECT_EQ(pair[3], 201);
    }

  const PClip source = yuy2_clip(10, 6, [](int byte, int y) {
    return byte % 2 == 0 ? luma_pattern(byte / 2, y) : byte % 4 == 1 ? BYTE{3} : BYTE{255};
  });
  const PClip back = convert(env, "ConvertToYV12", convert(env, "ConvertToYUY2", convert(env, "ConvertToYV12", source)));
  ASSERT_TRUE(back->GetVideoInfo().IsColorSpace(VideoInfo::CS_YV12));
  const PVideoFrame planes = back->GetFrame(1, &env);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(at(planes, PLANAR_Y, x, y), luma_pattern(x, y));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(at(planes, PLANAR_U, x, y), 3);
      EXPECT_EQ(at(planes, PLANAR_V, x, y), 255);
    }
}

TEST_F(FormatConversion, VerticalSitingFollowsAGradientAndHorizontalSitingDoesNotShift) {
  // 4:2:0 chroma row j sits at luma position 2j + 0.5; with 16 per chroma row
  // the gradient is 8 per luma row, so the 4:2:2 row y must read 8y - 4 + 40.
  const PClip planar = new PlanarClip(env, VideoInfo::CS_YV12, 8, 12, [](int plane, int x, int y) {
    return plane == PLANAR_Y ? BYTE{128} : plane == PLANAR_U ? static_cast<BYTE>(40 + 16 * y)
                                                             : static_cast<BYTE>(100 + 10 * x);
  });
  const PVideoFrame frame = convert(env, "ConvertToYUY2", planar)->GetFrame(0, &env);
  auto u = [&](int x, int y) { return frame->GetReadPtr()[y * frame->GetPitch() + 4 * x + 1]; };
  auto v = [&](int x, int y) { return frame->GetReadPtr()[y * frame->GetPitch() + 4 * x + 3]; };
  for (int y = 1; y < 11; ++y) EXPECT_EQ(u(2, y), 40 + 8 * y - 4) << "row " << y;
  EXPECT_EQ(u(0, 0), 40);
  EXPECT_EQ(u(3, 11), 40 + 16 * 5);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(v(x, y), 100 + 10 * x);

  // Back to 4:2:0: a 4:2:2 gradient of 4 per row read at 2j + 0.5.
  const PClip packed = yuy2_clip(8, 12, [](int byte, int y) {
    return byte % 4 == 1 ? static_cast<BYTE>(20 + 4 * y) : byte % 4 == 3 ? static_cast<BYTE>(byte) : BYTE{128};
  });
  const PVideoFrame planes = convert(env, "ConvertToYV12", packed)->GetFrame(0, &env);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(at(planes, PLANAR_U, 1, j), 20 + 8 * j + 2) << "row " << j;
  for (int x = 0; x < 4; ++x) EXPECT_EQ(at(planes, PLANAR_V, x, 3), 4 * x + 3);
}

TEST_F(FormatConversion, I420IsReadByItsPlaneOffsetsAndComesBackAsYV12) {
  const PClip i420 = new PlanarClip(env, VideoInfo::CS_I420, 4, 4, [](int plane, int x, int y) {
    return plane == PLANAR_Y ? BYTE{90} : static_cast<BYTE>((plane == PLANAR_U ? 30 : 180) + x + 0 * y);
  });
  const PClip packed = convert(env, "ConvertToYUY2", i420);
  const PVideoFrame frame = packed->GetFrame(2, &env);
  EXPECT_EQ(frame->GetReadPtr()[1], 30);
  EXPECT_EQ(frame->GetReadPtr()[3], 180);
  EXPECT_EQ(frame->GetReadPtr()[5], 31);
  const PClip back = convert(env, "ConvertToYV12", packed);
  EXPECT_EQ(back->GetVideoInfo().pixel_type, VideoInfo::CS_YV12);
  const PVideoFrame planes = back->GetFrame(2, &env);
  EXPECT_EQ(at(planes, PLANAR_U, 1, 1), 31);
  EXPECT_EQ(at(planes, PLANAR_V, 0, 1), 180);
  EXPECT_GT(planes->GetOffset(PLANAR_U), planes->GetOffset(PLANAR_V));
}

TEST_F(FormatConversion, KeepsEverythingButTheFormatAndRecyclesFrames) {
  const PClip source = yuy2_clip(6, 4, [](int, int) { return BYTE{128}; });
  EXPECT_EQ(convert(env, "ConvertToYUY2", source).get(), source.get());
  const PClip planar = convert(env, "ConvertToYV12", source);
  EXPECT_EQ(convert(env, "ConvertToYV12", planar).get(), planar.get());
  const VideoInfo& in = source->GetVideoInfo();
  const VideoInfo& out = planar->GetVideoInfo();
  EXPECT_EQ(out.width, in.width);
  EXPECT_EQ(out.height, in.height);
  EXPECT_EQ(out.num_frames, in.num_frames);
  EXPECT_EQ(out.fps_numerator, in.fps_numerator);
  EXPECT_EQ(out.num_audio_samples, in.num_audio_samples);
  EXPECT_EQ(out.image_type, in.image_type);
  EXPECT_EQ(planar->GetParity(1), source->GetParity(1));

  const PClip packed = convert(env, "ConvertToYUY2", planar);
  for (int n = 0; n < 4; ++n) packed->GetFrame(n, &env);
  const std::size_t buffers = env.frame_pool().buffer_count();
  for (int n = 0; n < 20; ++n) packed->GetFrame(n % 4, &env);
  EXPECT_EQ(env.frame_pool().buffer_count(), buffers);
}

// Planar 4:2:0 frames are unpacked into and packed from the working image
// directly; that must give the bytes of the way through YUY2.
TEST_F(FormatConversion, PlanarWorkingImageConversionsMatchTheWayThroughYuy2) {
  const int width = 10, height = 8;
  std::mt19937 random(11);
  const PClip planar = new PlanarClip(env, VideoInfo::CS_YV12, width, height,
                                      [&](int, int, int) { return static_cast<BYTE>(random()); });
  const PVideoFrame planes = planar->GetFrame(0, &env);
  const SourcePlanes source{planes->GetReadPtr(PLANAR_Y), planes->GetReadPtr(PLANAR_U), planes->GetReadPtr(PLANAR_V),
                            planes->GetPitch(PLANAR_Y),   planes->GetPitch(PLANAR_U),   planes->GetPitch(PLANAR_V)};
  const PVideoFrame packed = convert(env, "ConvertToYUY2", planar)->GetFrame(0, &env);
  std::vector<BYTE> scratch(planar_420_scratch_size(width));
  std::vector<BYTE> direct(packed_yuv444_size(width, height)), through_yuy2(direct.size());
  for (bool sup : {false, true}) {
    unpack_planar_420(source, sup, width, height, direct.data(), scratch.data());
    unpack_yuy2(packed->GetReadPtr(), packed->GetPitch(), sup, width, height, through_yuy2.data());
    EXPECT_EQ(direct, through_yuy2) << "sup " << sup;
  }

  for (BYTE& byte : direct) byte = static_cast<BYTE>(random());
  std::vector<BYTE> rows(2 * width * height);
  pack_yuy2(direct.data(), width, height, rows.data(), 2 * width);
  const PClip yuy2 = yuy2_clip(width, height, [&](int byte, int y) { return rows[2 * width * y + byte]; });
  const PVideoFrame expected = convert(env, "ConvertToYV12", yuy2)->GetFrame(0, &env);
  const int chroma_pitch = width / 2 + 3;
  std::vector<BYTE> u(chroma_pitch * height / 2, 0xEE), v(u);
  pack_planar_420_chroma(direct.data(), width, height, {u.data(), v.data(), chroma_pitch, chroma_pitch},
                         scratch.data());
  for (int j = 0; j < height / 2; ++j)
    for (int x = 0; x < chroma_pitch; ++x) {
      const bool inside = x < width / 2;
      EXPECT_EQ(u[j * chroma_pitch + x], inside ? at(expected, PLANAR_U, x, j) : 0xEE) << x << "," << j;
      EXPECT_EQ(v[j * chroma_pitch + x], inside ? at(expected, PLANAR_V, x, j) : 0xEE) << x << "," << j;
    }
}

TEST_F(FormatConversion, RefusesOddHeightsAndOtherFormats) {
  auto message = [&](const char* function, const PClip& clip) {
    try {
      convert(env, function, clip);
    } catch (const AvisynthError& error) {
      return std::string(error.msg);
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("ConvertToYV12", yuy2_clip(6, 5, [](int, int) { return BYTE{0}; })),
            "ConvertToYV12: 4:2:0 needs an even width and height, not 6x5");
  VideoInfo rgb = yuy2_info(4, 4);
  rgb.pixel_type = VideoInfo::CS_BGR32;
  EXPECT_EQ(message("ConvertToYV12", new TestClip(rgb)), "ConvertToYV12: the source must be YUY2, YV12 or I420");
  EXPECT_EQ(message("ConvertToYUY2", new TestClip(rgb)), "ConvertToYUY2: the source must be YV12, I420 or YUY2");
}

}  // namespace

}  // namespace quillfen
