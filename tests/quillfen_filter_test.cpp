// The filter clip: its checks, what it passes through, what it owns, and the
// frame pipeline with its pass control and the passes the frame filter runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "filter/pass_control.h"
#include "filter/frame_filter.h"
#include "filter/quillfen_filter.h"
#include "image/packed_yuv444.h"
#include "image/yuy2_conversion.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "server/script_environment.h"
#include "tests/support/host_counts.h"
#include "tests/support/test_clip.h"
#include "tests/support/filter_parameters.h"

namespace quillfen {

namespace {

// Builds a filter over a fresh source clip and returns the error message,
// or an empty string when construction succeeded.
std::string construction_error(const VideoInfo& vi, const Parameters& p) {
  quillfen::server::ScriptEnvironment env;
  try {
    PClip filter = new QuillfenFilter(new TestClip(vi), p, &env);
  } catch (const AvisynthError& error) {
    return error.msg;
  }
  return "";
}

const char* const kFormat = "Quillfen: YUY2 or YV12 data only.";
const char* const kRadius = "Quillfen: \"radius\" parameter must be greater than or equal to one.";
const char* const kIterations = "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive.";
const char* const kThreshold = "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive.";
const char* const kOddWidth =
    "Quillfen: the clip is YUY2 of 7x6; YUY2 needs an even width: make it even before the clip becomes YUY2, e.g. "
    "add Crop(0, 0, -1, 0) or AddBorders(0, 0, 1, 0) where it is 4:4:4 or RGB.";
const char* const kRadiusTooLarge = "Quillfen: \"radius\" parameter must be less than the frame width and height.";

VideoInfo with_pixel_type(VideoInfo vi, int pixel_type) {
  vi.pixel_type = pixel_type;
  return vi;
}

TEST(QuillfenFilterChecks, EachLimitAndItsExactMessage) {
  const VideoInfo yuy2 = yuy2_info(8, 6);
  struct Case {
    Parameters p;
    const char* error;
  };
  const Case cases[] = {
      {{false, 1, false, 0, 165}, ""},        {{false, 0, false, 0, 165}, kRadius},
      {{false, -5, false, 0, 165}, kRadius},  {{false, 1, false, -1, 165}, kIterations},
      {{false, 1, false, 7, 0}, ""},          {{false, 1, false, 0, 255}, ""},
      {{false, 1, false, 0, -1}, kThreshold}, {{false, 1, false, 0, 256}, kThreshold},
      {{false, 1, false, 1000, 165}, ""},     {{false, 1, false, 1001, 165}, kIterations},
  };
  for (const Case& c : cases)
    EXPECT_EQ(construction_error(yuy2, c.p), c.error)
        << "radius " << c.p.radius << " iterations " << c.p.iterations << " threshold " << c.p.threshold;
}

TEST(QuillfenFilterChecks, FormatsAndTheOrderOfChecks) {
  const VideoInfo yuy2 = yuy2_info(8, 6);
  EXPECT_EQ(construction_error(with_pixel_type(yuy2, VideoInfo::CS_YV12), {}), "");
  EXPECT_EQ(construction_error(with_pixel_type(yuy2, VideoInfo::CS_I420), {}), "");
  EXPECT_EQ(construction_error(with_pixel_type(yuy2, VideoInfo::CS_BGR32), {}), kFormat);
  // Newer hosts' formats that share every bit of the YV12 code: 8-bit
  // planar 4:2:2, 4:4:4 and 4:1:1, and 16-bit 4:2:0.
  for (const unsigned pixel_type : {0xA0000308u, 0xA000030Bu, 0xA0000309u, 0xA0010008u})
    EXPECT_EQ(construction_error(with_pixel_type(yuy2, static_cast<int>(pixel_type)), {}), kFormat) << std::hex << pixel_type;
  EXPECT_EQ(construction_error(with_pixel_type(yuy2, VideoInfo::CS_BGR24), {false, 0, false, -1, 300}), kFormat);
  EXPECT_EQ(construction_error(yuy2, {false, 0, false, -1, 300}), kRadius);
  EXPECT_EQ(construction_error(yuy2, {false, 1, false, -1, 300}), kIterations);
  EXPECT_EQ(construction_error(yuy2_info(7, 6), {false, 0, false, 0, 165}), kRadius);
  EXPECT_EQ(construction_error(yuy2_info(7, 6), {false, 1, false, 0, 300}), kThreshold);
  EXPECT_EQ(construction_error(yuy2_info(7, 6), {false, 9, false, 0, 165}), kOddWidth);
}

TEST(QuillfenFilterChecks, RadiusMustStayInsideTheFrame) {
  EXPECT_EQ(construction_error(yuy2_info(8, 6), {false, 5, false, 0, 165}), "");
  EXPECT_EQ(construction_error(yuy2_info(8, 6), {false, 6, false, 0, 165}), kRadiusTooLarge);
  EXPECT_EQ(construction_error(yuy2_info(6, 8), {false, 6, false, 0, 165}), kRadiusTooLarge);
  EXPECT_EQ(construction_error(yuy2_info(2, 2), {false, 1, false, 0, 165}), "");
  EXPECT_EQ(construction_error(yuy2_info(2, 1), {false, 1, false, 0, 165}), kRadiusTooLarge);
  // A frame without pixels reads nothing, so no radius can leave it.
  EXPECT_EQ(construction_error(yuy2_info(0, 0), {false, 40, false, 0, 165}), "");
  EXPECT_EQ(construction_error(yuy2_info(4, 0), {false, 40, false, 0, 165}), "");
  EXPECT_EQ(construction_error(yuy2_info(3, 0), {false, 1, false, 0, 165}), "");
}

TEST(QuillfenFilterLifetime, SourceIsReleasedWhetherConstructionSucceedsOrNot) {
  const int before = TestClip::destroyed;
  construction_error(yuy2_info(8, 6), {});
  EXPECT_EQ(TestClip::destroyed, before + 1);
  construction_error(yuy2_info(8, 6), {false, 0, false, 0, 165});
  EXPECT_EQ(TestClip::destroyed, before + 2);
  construction_error(with_pixel_type(yuy2_info(8, 6), VideoInfo::CS_BGR32), {});
  EXPECT_EQ(TestClip::destroyed, before + 3);
}

// The filter and the frames are built on memory full of old data, as a host's
// heap hands it out; a count narrower than the host's 8 bytes would leave
// part of it in place and never come back to 0.
TEST(QuillfenFilterLifetime, CountsFillTheHostsEightBytes) {
  quillfen::server::ScriptEnvironment env;
  const int before = TestClip::destroyed;
  void* memory = ::operator new(sizeof(QuillfenFilter));
  std::memset(memory, 0xA5, sizeof(QuillfenFilter));
  IClip* filter = new (memory) QuillfenFilter(new TestClip(yuy2_info(8, 6)), {}, &env);
  EXPECT_EQ(host_clip_count(filter), 0);
  host_add_ref(filter);
  {
    const PClip held = filter;
    EXPECT_EQ(host_clip_count(filter), 2);
  }
  host_release(filter);
  EXPECT_EQ(TestClip::destroyed, before + 1) << "the filter was not freed";

  BYTE pixels[16] = {};
  VideoFrameBuffer buffer(pixels, sizeof pixels);
  alignas(VideoFrame) unsigned char frame_memory[sizeof(VideoFrame)];
  std::memset(frame_memory, 0xA5, sizeof frame_memory);
  auto* frame = new (frame_memory) VideoFrame(&buffer, 0, 8, 8, 2);
  EXPECT_EQ(host_frame_count(frame), 0);
  {
    const PVideoFrame held = frame;
    EXPECT_EQ(host_frame_count(frame), 1);
    EXPECT_NE(held->GetWritePtr(), nullptr);
  }
  EXPECT_EQ(host_frame_count(frame), 0);
  EXPECT_EQ(buffer.GetRefcount(), 0);
}

TEST(QuillfenFilterPassThrough, ClipDescriptionParityAudioAndCacheHints) {
  quillfen::server::ScriptEnvironment env;
  const VideoInfo vi = yuy2_info(10, 4, 9);
  TestClip* source = new TestClip(vi);
  PClip keep_source = source;
  PClip filter = new QuillfenFilter(source, {}, &env);
  EXPECT_EQ(std::memcmp(&filter->GetVideoInfo(), &vi, sizeof(VideoInfo)), 0);
  EXPECT_EQ(filter->GetVersion(), 2);
  for (int n = 0; n < 6; ++n) EXPECT_EQ(filter->GetParity(n), source->GetParity(n)) << n;
  std::int16_t audio[5] = {};
  filter->GetAudio(audio, 100, 5, &env);
  EXPECT_EQ(audio[0], 100);
  EXPECT_EQ(audio[4], 104);
  filter->SetCacheHints(1, 10);
  EXPECT_EQ(source->cache_hint_calls, 0);
}

// A real-looking YUY2 frame: a luma gradient with a hard edge, chroma that
// bleeds across the edge, and noise.
std::vector<BYTE> gradient_frame(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<BYTE> rows(2 * width * height);
  for (int y = 0; y < height; ++y)
    for (int k = 0; k < width / 2; ++k) {
      BYTE* m = &rows[2 * width * y + 4 * k];
      const int x = 2 * k;
      const bool bright = x + y / 2 >= width / 2;
      const int noise = static_cast<int>(random() % 9) - 4;
      m[0] = static_cast<BYTE>((bright ? 150 : 40) + 6 * x / width + noise);
      m[2] = static_cast<BYTE>((bright ? 150 : 40) + 6 * (x + 1) / width - noise);
      m[1] = static_cast<BYTE>(x < width / 2 + 1 ? 90 + 3 * y : 180 - (random() % 5));
      m[3] = static_cast<BYTE>(x < width / 2 - 1 ? 200 - 2 * y : 70 + (random() % 5));
    }
  return rows;
}

// The frame through the clip; with `passes`, also the passes the frame
// filter runs on it (the count the command reports), and the clip's frame
// must be the frame filter's.
std::vector<BYTE> filter_frame(const std::vector<BYTE>& rows, int width, int height, const Parameters& p,
                               int pitch = 0, int* passes = nullptr) {
  quillfen::server::ScriptEnvironment env;
  std::vector<BYTE> direct(rows.size());
  if (passes) {
    FrameFilter filter({width, height, ChromaLayout::kYuy2, 8}, p, *chosen_pass_kernel());
    *passes = filter.filter({{rows.data(), nullptr, nullptr}, {2 * width, 0, 0}},
                            {{direct.data(), nullptr, nullptr}, {2 * width, 0, 0}});
  }
  TestClip* source = new TestClip(yuy2_info(width, height), pitch);
  source->set_frame(0, rows);
  PClip filter = new QuillfenFilter(source, p, &env);
  PVideoFrame frame = filter->GetFrame(0, &env);
  std::vector<BYTE> out;
  for (int y = 0; y < height; ++y) {
    out.insert(out.end(), frame->GetReadPtr() + y * frame->GetPitch(),
               frame->GetReadPtr() + y * frame->GetPitch() + 2 * width);
  }
  if (passes) {
    EXPECT_EQ(out, direct) << "the clip and the frame filter part";
  }
  return out;
}

// What the frame should be: the passes run by hand on the unpacked image.
struct ManualRun {
  std::vector<BYTE> frame;
  std::vector<int> changes;
};

ManualRun run_by_hand(const std::vector<BYTE>& rows, int width, int height, const Parameters& p, int passes) {
  std::vector<BYTE> current(packed_yuv444_size(width, height)), next(current.size());
  unpack_yuy2(rows.data(), 2 * width, p.sup, width, height, current.data());
  ManualRun run;
  for (int i = 0; i < passes; ++i) {
    run.changes.push_back(
        propagation_pass_reference({width, height, p.radius, p.gaussian}, current.data(), next.data()));
    current = next;
  }
  run.frame.resize(2 * width * height);
  pack_yuy2(current.data(), width, height, run.frame.data(), 2 * width);
  return run;
}

// QUILLFEN_CPU set to a kernel's name for the life of one scope.
class KernelCap {
 public:
  explicit KernelCap(const char* name) { setenv(kCpuCapVariable, name, 1); }
  ~KernelCap() { unsetenv(kCpuCapVariable); }
};

// Every kernel this CPU runs, held to it by the cap, gives the frame of the
// straightforward passes; a cap that names no kernel is refused.
TEST(QuillfenFilterPipeline, EveryKernelThroughTheCap) {
  const int width = 70, height = 9;
  const std::vector<BYTE> rows = gradient_frame(width, height, 5);
  for (const PassKernel& kernel : supported_pass_kernels()) {
    const KernelCap cap(kernel.name);
    for (const Parameters& p : {Parameters{false, 1, false, 2, 0}, Parameters{true, 3, true, 2, 0}})
      EXPECT_EQ(filter_frame(rows, width, height, p), run_by_hand(rows, width, height, p, 2).frame)
          << kernel.name << " radius " << p.radius;
  }
  const KernelCap unknown("NEON");
  EXPECT_EQ(construction_error(yuy2_info(8, 6), {}), kCpuCapError);
}

TEST(QuillfenFilterPipeline, FixedModeRunsExactlyTheAskedPasses) {
  const int width = 12, height = 7;
  const std::vector<BYTE> rows = gradient_frame(width, height, 1);
  for (int n : {1, 2, 5}) {
    Parameters p{false, 2, false, n, 0};
    int reported = 0;
    EXPECT_EQ(filter_frame(rows, width, height, p, 0, &reported), run_by_hand(rows, width, height, p, n).frame) << n;
    EXPECT_EQ(reported, n);
  }
}

TEST(QuillfenFilterPipeline, ConvergenceStopsAtTheFirstPassNotAboveTheThreshold) {
  const int width = 12, height = 7;
  const std::vector<BYTE> rows = gradient_frame(width, height, 2);
  const Parameters base{true, 1, true, 0, 0};
  const ManualRun reference = run_by_hand(rows, width, height, base, 3);
  const int first = reference.changes[0];
  ASSERT_GT(first, reference.changes[1]);

  const struct {
    int iterations, threshold, passes;
  } cases[] = {{0, 255, 1}, {0, first, 1}, {0, first - 1, 2}, {1, 255, 1}};
  for (const auto& c : cases) {
    Parameters p = base;
    p.iterations = c.iterations;
    p.threshold = c.threshold;
    int reported = 0;
    EXPECT_EQ(filter_frame(rows, width, height, p, 0, &reported), run_by_hand(rows, width, height, base, c.passes).frame)
        << "iterations " << c.iterations << " threshold " << c.threshold;
    EXPECT_EQ(reported, c.passes) << "iterations " << c.iterations << " threshold " << c.threshold;
  }
}

// Hard two-level luma under random chroma: the linear form keeps moving
// some chroma byte on every pass.
std::vector<BYTE> two_level_frame(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<BYTE> rows(2 * width * height);
  for (std::size_t i = 0; i < rows.size(); ++i)
    rows[i] = static_cast<BYTE>(i % 2 == 0 ? (random() % 2 ? 230 : 20) : random());
  return rows;
}

TEST(QuillfenFilterPipeline, AFrameThatNeverConvergesStopsAtThePassBoundOrAStopRequest) {
  const int width = 6, height = 5;
  const std::vector<BYTE> rows = two_level_frame(width, height, 3);
  const Parameters p{false, 2, false, 0, 0};
  const ManualRun bounded = run_by_hand(rows, width, height, p, kMaxConvergencePasses);
  for (int change : bounded.changes) ASSERT_GT(change, 0) << "this frame converges; pick another";
  int reported = 0;
  EXPECT_EQ(filter_frame(rows, width, height, p, 0, &reported), bounded.frame);
  EXPECT_EQ(reported, kMaxConvergencePasses);

  // A stop request ends a frame before its next pass, and nothing is written.
  FrameFilter filter({width, height, ChromaLayout::kYuy2, 8}, p, *chosen_pass_kernel());
  std::atomic<bool> stop = true;
  filter.stop_between_passes(&stop);
  const std::vector<BYTE> unwritten(rows.size(), 7);
  std::vector<BYTE> out = unwritten;
  const FramePlanes source{{rows.data(), nullptr, nullptr}, {2 * width, 0, 0}};
  const FrameDestination destination{{out.data(), nullptr, nullptr}, {2 * width, 0, 0}};
  EXPECT_EQ(filter.filter(source, destination), 0);
  EXPECT_EQ(out, unwritten);
  stop = false;
  EXPECT_EQ(filter.filter(source, destination), kMaxConvergencePasses);
  EXPECT_EQ(out, bounded.frame);
}

TEST(QuillfenFilterPipeline, LumaPassesThroughAndPitchIsHonoured) {
  const int width = 10, height = 5;
  const std::vector<BYTE> rows = gradient_frame(width, height, 5);
  const Parameters p{false, 3, false, 4, 0};
  const std::vector<BYTE> packed = filter_frame(rows, width, height, p);
  EXPECT_EQ(filter_frame(rows, width, height, p, 64), packed);
  for (std::size_t i = 0; i < rows.size(); i += 2) EXPECT_EQ(packed[i], rows[i]) << i;
  EXPECT_NE(packed, rows);
}

TEST(QuillfenFilterPipeline, FramesItCannotReadAreRefused) {
  quillfen::server::ScriptEnvironment env;
  TestClip* short_source = new TestClip(yuy2_info(8, 6));
  short_source->served_height = 5;
  // A filter built on YV12 without the host's conversions gets planar frames.
  const std::pair<TestClip*, const char*> cases[] = {
      {short_source, "Quillfen: source frame is smaller than the clip."},
      {new TestClip(with_pixel_type(yuy2_info(8, 6), VideoInfo::CS_YV12)),
       "Quillfen: YV12 frames must be converted to YUY2 before the filter."},
  };
  for (const auto& [source, message] : cases) {
    PClip filter = new QuillfenFilter(source, {.iterations = 1, .threshold = 0}, &env);
    try {
      filter->GetFrame(0, &env);
      ADD_FAILURE() << "a frame it cannot read was read: " << message;
    } catch (const AvisynthError& error) {
      EXPECT_STREQ(error.msg, message);
    }
  }
}

// A 10 x 5 frame through the whole pipeline with the default pass control
// and radius 2, in both forms and both chroma modes. The expected bytes were
// computed once and checked against an independent implementation written
// from the definition, border pixels included.
TEST(QuillfenFilterPipeline, WholeFrameInEveryFormAndMode) {
  const int width = 10, height = 5;
  const std::vector<BYTE> rows = gradient_frame(width, height, 2026);
  struct Expected {
    bool gaussian;
    bool sup;
    std::vector<BYTE> frame;
  };
  const Expected expected[] = {
      {false, false,
       {
       42, 94, 38, 199, 37, 100, 45, 130, 43, 106, 42, 96, 152, 178, 155, 73, 157, 177, 152, 73,
       37, 95, 43, 192, 42, 96, 40, 147, 41, 103, 44, 108, 152, 175, 155, 73, 158, 178, 151, 72,
       42, 97, 38, 194, 42, 96, 40, 167, 154, 140, 151, 71, 153, 169, 154, 72, 153, 177, 156, 72,
       40, 99, 40, 192, 38, 99, 44, 174, 149, 142, 156, 72, 151, 160, 156, 72, 151, 178, 158, 71,
       42, 98, 38, 194, 42, 99, 40, 170, 148, 134, 157, 73, 157, 173, 150, 71, 158, 178, 151, 71,
       }},
      {false, true,
       {
       42, 94, 38, 198, 37, 93, 45, 136, 43, 92, 42, 112, 152, 177, 155, 73, 157, 177, 152, 73,
       37, 95, 43, 197, 42, 93, 40, 166, 41, 93, 44, 132, 152, 173, 155, 73, 158, 178, 151, 72,
       42, 97, 38, 196, 42, 96, 40, 189, 154, 126, 151, 71, 153, 164, 154, 72, 153, 178, 156, 73,
       40, 99, 40, 194, 38, 99, 44, 194, 149, 130, 156, 73, 151, 154, 156, 72, 151, 178, 158, 71,
       42, 98, 38, 195, 42, 99, 40, 193, 148, 119, 157, 74, 157, 164, 150, 71, 158, 179, 151, 72,
       }},
      {true, false,
       {
       42, 94, 38, 198, 37, 95, 45, 147, 43, 110, 42, 95, 152, 176, 155, 73, 157, 178, 152, 73,
       37, 94, 43, 195, 42, 97, 40, 146, 41, 109, 44, 105, 152, 174, 155, 73, 158, 178, 151, 73,
       42, 97, 38, 194, 42, 96, 40, 166, 154, 136, 151, 75, 153, 169, 154, 72, 153, 177, 156, 72,
       40, 99, 40, 193, 38, 99, 44, 170, 149, 140, 156, 76, 151, 163, 156, 72, 151, 177, 158, 71,
       42, 99, 38, 193, 42, 99, 40, 168, 148, 133, 157, 75, 157, 170, 150, 71, 158, 178, 151, 71,
       }},
      {true, true,
       {
       42, 94, 38, 198, 37, 91, 45, 158, 43, 96, 42, 110, 152, 176, 155, 73, 157, 177, 152, 73,
       37, 94, 43, 198, 42, 94, 40, 162, 41, 98, 44, 126, 152, 171, 155, 73, 158, 178, 151, 73,
       42, 97, 38, 196, 42, 96, 40, 188, 154, 124, 151, 77, 153, 164, 154, 72, 153, 178, 156, 72,
       40, 99, 40, 194, 38, 99, 44, 189, 149, 128, 156, 78, 151, 155, 156, 72, 151, 178, 158, 71,
       42, 99, 38, 195, 42, 99, 40, 191, 148, 118, 157, 76, 157, 162, 150, 71, 158, 178, 151, 72,
       }},
  };
  for (const Expected& e : expected)
    EXPECT_EQ(filter_frame(rows, width, height, {e.sup, 2, e.gaussian, 0, 165}), e.frame)
        << "gaussian " << e.gaussian << " sup " << e.sup;
}

}  // namespace

}  // namespace quillfen
