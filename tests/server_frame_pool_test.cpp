// Frames from the environment's pool: layout, recycling and refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "server/script_environment.h"

namespace quillfen {

namespace {

using quillfen::server::ScriptEnvironment;

VideoInfo info(int pixel_type, int width, int height) {
  VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.num_frames = 1;
  vi.pixel_type = pixel_type;
  return vi;
}

bool aligned(const BYTE* pointer, int alignment) {
  return reinterpret_cast<std::uintptr_t>(pointer) % static_cast<std::uintptr_t>(alignment) == 0;
}

std::string refusal(ScriptEnvironment& env, const VideoInfo& vi, int align = FRAME_ALIGN) {
  try {
    env.NewVideoFrame(vi, align);
  } catch (const AvisynthError& error) {
    return error.msg;
  }
  return "accepted";
}

TEST(FrameLayout, InterleavedRowsArePaddedToTheAlignment) {
  ScriptEnvironment env;
  const PVideoFrame frame = env.NewVideoFrame(info(VideoInfo::CS_YUY2, 6, 3));
  EXPECT_EQ(frame->GetRowSize(), 12);
  EXPECT_EQ(frame->GetPitch(), 16);
  EXPECT_EQ(frame->GetPitch(PLANAR_U), 0);
  EXPECT_TRUE(aligned(frame->GetReadPtr(), 16));
  EXPECT_GE(frame->GetFrameBuffer()->GetDataSize(), 3 * 16);
  ASSERT_NE(frame->GetWritePtr(), nullptr);

  const PVideoFrame wide = env.NewVideoFrame(info(VideoInfo::CS_YUY2, 40, 2), 64);
  EXPECT_EQ(wide->GetPitch(), 128);
  EXPECT_TRUE(aligned(wide->GetReadPtr(), 64));
}

TEST(FrameLayout, PlanarPlanesAreAlignedDisjointAndInTheFormatsOrder) {
  ScriptEnvironment env;
  for (int pixel_type : {VideoInfo::CS_YV12, VideoInfo::CS_I420}) {
    const PVideoFrame frame = env.NewVideoFrame(info(pixel_type, 18, 6));
    EXPECT_EQ(frame->GetRowSize(), 18);
    EXPECT_EQ(frame->GetPitch(), 32);
    EXPECT_EQ(frame->GetRowSize(PLANAR_U), 9);
    EXPECT_EQ(frame->GetHeight(PLANAR_V), 3);
    EXPECT_EQ(frame->GetPitch(PLANAR_V), 16);
    const int y_end = frame->GetOffset(PLANAR_Y) + 6 * frame->GetPitch();
    const int u = frame->GetOffset(PLANAR_U), v = frame->GetOffset(PLANAR_V);
    EXPECT_GE(std::min(u, v), y_end);
    EXPECT_GE(std::max(u, v) - std::min(u, v), 3 * 16);
    EXPECT_LE(std::max(u, v) + 3 * 16, frame->GetFrameBuffer()->GetDataSize());
    for (int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) EXPECT_TRUE(aligned(frame->GetReadPtr(plane), 16));
    // YV12 keeps V before U in memory; I420 keeps U first.
    EXPECT_EQ(u < v, pixel_type == VideoInfo::CS_I420);
  }
}

TEST(FrameLayout, RefusesSizesTheFormatOrTheInterfaceCannotHold) {
  ScriptEnvironment env;
  EXPECT_EQ(refusal(env, info(VideoInfo::CS_YUY2, 0, 4)), "NewVideoFrame: frame size 0x4 is not positive");
  EXPECT_EQ(refusal(env, info(VideoInfo::CS_YUY2, 4, -2)), "NewVideoFrame: frame size 4x-2 is not positive");
  EXPECT_EQ(refusal(env, info(VideoInfo::CS_YUY2, 7, 4)), "NewVideoFrame: YUY2 needs an even width, not 7x4");
  EXPECT_EQ(refusal(env, info(VideoInfo::CS_YV12, 8, 5)),
            "NewVideoFrame: 4:2:0 needs an even width and height, not 8x5");
  EXPECT_EQ(refusal(env, info(VideoInfo::CS_I420, 9, 4)),
            "NewVideoFrame: 4:2:0 needs an even width and height, not 9x4");
  // 2 * 46342 * 23171 bytes is just above what an int can address.
  EXPECT_NE(refusal(env, info(VideoInfo::CS_YUY2, 46342, 23171)).find("more than a frame can address"),
            std::string::npos);
  EXPECT_NE(refusal(env, info(VideoInfo::CS_YV12, 65536, 32768)).find("more than a frame can address"),
            std::string::npos);
  EXPECT_EQ(refusal(env, info(0x1234, 8, 8)), "NewVideoFrame: unknown pixel type 4660");
  EXPECT_NE(refusal(env, info(VideoInfo::CS_YUY2, 8, 8), 24).find("alignment 24"), std::string::npos);
  EXPECT_EQ(env.frame_pool().buffer_count(), 0u);
}

TEST(FramePool, ReleasedFramesComeBackWithoutNewBuffers) {
  ScriptEnvironment env;
  const VideoInfo vi = info(VideoInfo::CS_YV12, 32, 16);
  const BYTE* first = nullptr;
  {
    const PVideoFrame frame = env.NewVideoFrame(vi);
    first = frame->GetReadPtr();
  }
  for (int i = 0; i < 50; ++i) {
    PVideoFrame frame = env.NewVideoFrame(vi);
    EXPECT_EQ(frame->GetReadPtr(), first);
    EXPECT_TRUE(frame->IsWritable());
    EXPECT_EQ(frame->GetFrameBuffer()->GetRefcount(), 1);
  }
  EXPECT_EQ(env.frame_pool().buffer_count(), 1u);
}

TEST(FramePool, IdleBuffersAreFreedOnceTheMemoryLimitIsReached) {
  ScriptEnvironment env;
  EXPECT_EQ(env.SetMemoryMax(1), 1);
  // Each frame is 640 KiB: two of them exceed the 1 MiB limit.
  const VideoInfo small = info(VideoInfo::CS_YUY2, 512, 640);
  const VideoInfo large = info(VideoInfo::CS_YUY2, 512, 650);
  { const PVideoFrame idle = env.NewVideoFrame(small); }
  {
    const PVideoFrame held = env.NewVideoFrame(large);
    EXPECT_EQ(env.frame_pool().buffer_count(), 1u);
    // Nothing idle is left to free: a held frame is never taken back.
    const PVideoFrame second = env.NewVideoFrame(large);
    EXPECT_EQ(env.frame_pool().buffer_count(), 2u);
    EXPECT_NE(second->GetFrameBuffer(), held->GetFrameBuffer());
  }
}

TEST(FramePool, HeldFramesAndTheirViewsAreNotHandedOutAgain) {
  ScriptEnvironment env;
  const VideoInfo vi = info(VideoInfo::CS_YUY2, 16, 4);
  PVideoFrame held = env.NewVideoFrame(vi);
  const PVideoFrame copy = held;
  held = nullptr;
  const PVideoFrame other = env.NewVideoFrame(vi);
  EXPECT_NE(other->GetFrameBuffer(), copy->GetFrameBuffer());

  PVideoFrame parent = env.NewVideoFrame(vi);
  const VideoFrameBuffer* parent_buffer = parent->GetFrameBuffer();
  const PVideoFrame view = env.Subframe(parent, parent->GetPitch(), parent->GetPitch(), 8, 2);
  EXPECT_EQ(view->GetFrameBuffer(), parent_buffer);
  EXPECT_EQ(view->GetReadPtr(), parent->GetReadPtr() + parent->GetPitch());
  parent = nullptr;
  const PVideoFrame next = env.NewVideoFrame(vi);
  EXPECT_NE(next->GetFrameBuffer(), parent_buffer);
}

TEST(FramePool, AFrameReleasedOnAnotherThreadIsReused) {
  ScriptEnvironment env;
  const VideoInfo vi = info(VideoInfo::CS_YUY2, 64, 8);
  PVideoFrame frame = env.NewVideoFrame(vi);
  const VideoFrameBuffer* buffer = frame->GetFrameBuffer();
  std::thread releaser([moved = frame]() mutable { moved = nullptr; });
  frame = nullptr;
  releaser.join();
  EXPECT_EQ(env.NewVideoFrame(vi)->GetFrameBuffer(), buffer);
  EXPECT_EQ(env.frame_pool().buffer_count(), 1u);
}

TEST(FramePool, SubframesOutsideTheBufferOrFromElsewhereAreRefused) {
  ScriptEnvironment env;
  ScriptEnvironment other;
  const PVideoFrame frame = env.NewVideoFrame(info(VideoInfo::CS_YV12, 16, 4));
  auto message = [](auto&& action) {
    try {
      action();
    } catch (const AvisynthError& error) {
      return std::string(error.msg);
    }
    return std::string("accepted");
  };
  const int size = frame->GetFrameBuffer()->GetDataSize();
  EXPECT_EQ(message([&] { env.Subframe(frame, size, 16, 16, 2); }),
            "Subframe: the requested planes reach outside the frame's buffer");
  EXPECT_EQ(message([&] { env.Subframe(frame, -1, 16, 16, 1); }),
            "Subframe: the requested planes reach outside the frame's buffer");
  EXPECT_EQ(message([&] { env.SubframePlanar(frame, 0, 16, 16, 4, 0, size, 16); }),
            "Subframe: the requested planes reach outside the frame's buffer");
  EXPECT_EQ(message([&] { other.Subframe(frame, 0, 16, 16, 4); }),
            "Subframe: the frame does not come from this environment");
  // A flipped view: the last row first, walking backwards.
  const PVideoFrame flipped = env.Subframe(frame, 3 * frame->GetPitch(), -frame->GetPitch(), 16, 4);
  EXPECT_EQ(flipped->GetReadPtr(), frame->GetReadPtr() + 3 * frame->GetPitch());
  const PVideoFrame chroma_only = env.SubframePlanar(frame, 0, 16, 16, 4, 0, 0, 8);
  EXPECT_EQ(chroma_only->GetReadPtr(PLANAR_U), frame->GetReadPtr(PLANAR_U));
}

TEST(FramePool, MakeWritableCopiesASharedFrameAndLeavesTheOriginal) {
  ScriptEnvironment env;
  PVideoFrame frame = env.NewVideoFrame(info(VideoInfo::CS_I420, 4, 2));
  BYTE* y = frame->GetWritePtr(PLANAR_Y);
  for (int i = 0; i < 4; ++i) y[i] = y[frame->GetPitch() + i] = static_cast<BYTE>(10 + i);
  frame->GetWritePtr(PLANAR_U)[0] = 50;
  frame->GetWritePtr(PLANAR_U)[1] = 51;
  frame->GetWritePtr(PLANAR_V)[0] = 60;
  frame->GetWritePtr(PLANAR_V)[1] = 61;
  EXPECT_FALSE(env.MakeWritable(&frame));

  const PVideoFrame shared = frame;
  ASSERT_TRUE(env.MakeWritable(&frame));
  EXPECT_NE(frame->GetFrameBuffer(), shared->GetFrameBuffer());
  ASSERT_NE(frame->GetWritePtr(), nullptr);
  EXPECT_EQ(frame->GetReadPtr()[frame->GetPitch() + 3], 13);
  EXPECT_EQ(frame->GetReadPtr(PLANAR_U)[1], 51);
  EXPECT_EQ(frame->GetReadPtr(PLANAR_V)[0], 60);
  EXPECT_LT(frame->GetOffset(PLANAR_U), frame->GetOffset(PLANAR_V));
  frame->GetWritePtr()[0] = 99;
  EXPECT_EQ(shared->GetReadPtr()[0], 10);
}

}  // namespace

}  // namespace quillfen
