// The plugin module as a host sees it: loaded with dlopen, registering
// through the entry point, and its factory called with hand-made argument
// arrays against a recording environment that plays the host's part.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "filter/avisynth_messages.h"
#include "filter/quillfen_filter.h"
#include "filter/quillfen_version.h"
#include "host/avisynth_interface.h"
#include "tests/support/filter_parameters.h"
#include "tests/support/host_counts.h"
#include "tests/support/test_clip.h"

namespace quillfen {

namespace {

using PluginInit = const char*(AVS_STDCALL*)(IScriptEnvironment*);

void* plugin_module() {
  static void* handle = dlopen(QUILLFEN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

struct ConversionFailure {};

// The conversion result the host would hand back: holds its input, as the
// factory relies on, and reports the converted format.
class ConvertedClip : public GenericVideoFilter {
 public:
  ConvertedClip(PClip input, int pixel_type) : GenericVideoFilter(input) { vi.pixel_type = pixel_type; }
  ~ConvertedClip() override { ++destroyed; }
  static int destroyed;
};
int ConvertedClip::destroyed = 0;

struct InvokeCall {
  std::string name;
  char argument_kind;
  IClip* argument;
  bool names_given;
};

class RecordingEnvironment : public IScriptEnvironment {
 public:
  // What the factory asked of the host.
  std::vector<InvokeCall> invokes;
  std::vector<std::string> added_names, added_signatures;
  std::vector<ApplyFunc> added_functions;
  std::vector<void*> added_user_data;
  // Conversion functions that do not exist, and ones that fail.
  std::set<std::string> missing, failing;
  // Functions of the host's own that FunctionExists reports, and the
  // global variables GetVar finds.
  std::set<std::string> defined, variables;
  // The clips the conversions made; the YUY2 one serves `yuy2_frame`.
  IClip* last_conversion = nullptr;
  std::vector<BYTE> yuy2_frame;

  void AVS_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) override {
    added_names.emplace_back(name);
    added_signatures.emplace_back(params);
    added_functions.push_back(apply);
    added_user_data.push_back(user_data);
  }

  AVSValue AVS_STDCALL Invoke(const char* name, const AVSValue args, const char** arg_names) override {
    invokes.push_back({name, args.Kind(), args.IsClip() ? args.AsClip().get() : nullptr, arg_names != nullptr});
    if (missing.count(name)) throw NotFound();
    if (failing.count(name)) throw ConversionFailure();
    const PClip input = args.AsClip();
    if (std::string(name) == "ConvertToYUY2") {
      VideoInfo vi = input->GetVideoInfo();
      vi.pixel_type = VideoInfo::CS_YUY2;
      auto* clip = new TestClip(vi);
      if (!yuy2_frame.empty()) clip->set_frame(0, yuy2_frame);
      last_conversion = clip;
      return AVSValue(clip);
    }
    last_conversion = new ConvertedClip(input, VideoInfo::CS_YV12);
    return AVSValue(last_conversion);
  }

  [[noreturn]] void AVS_STDCALL ThrowError(const char* fmt, ...) override {
    va_list args;
    va_start(args, fmt);
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    messages_.emplace_back(text);
    throw AvisynthError(messages_.back().c_str());
  }

  PVideoFrame AVS_STDCALL NewVideoFrame(const VideoInfo& vi, int) override {
    const int pitch = 2 * vi.width + 16;
    memory_.push_back(std::make_unique<std::vector<BYTE>>(static_cast<std::size_t>(pitch) * vi.height));
    buffers_.push_back(std::make_unique<VideoFrameBuffer>(memory_.back()->data(), static_cast<int>(memory_.back()->size())));
    frames_.push_back(std::make_unique<VideoFrame>(buffers_.back().get(), 0, pitch, 2 * vi.width, vi.height));
    return frames_.back().get();
  }
  void AVS_STDCALL BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch, int row_size,
                          int height) override {
    for (int y = 0; y < height; ++y) std::memcpy(dstp + y * dst_pitch, srcp + y * src_pitch, row_size);
  }

  bool AVS_STDCALL FunctionExists(const char* name) override { return defined.count(name) != 0; }
  AVSValue AVS_STDCALL GetVar(const char* name) override {
    if (!variables.count(name)) throw NotFound();
    return AVSValue(true);
  }

  // Nothing else is any business of the plugin.
  long AVS_STDCALL GetCPUFlags() override { unexpected(); }
  char* AVS_STDCALL SaveString(const char*, int) override { unexpected(); }
  char* AVS_STDCALL Sprintf(const char*, ...) override { unexpected(); }
  char* AVS_STDCALL VSprintf(const char*, void*) override { unexpected(); }
  bool AVS_STDCALL SetVar(const char*, const AVSValue&) override { unexpected(); }
  bool AVS_STDCALL SetGlobalVar(const char*, const AVSValue&) override { unexpected(); }
  void AVS_STDCALL PushContext(int) override { unexpected(); }
  void AVS_STDCALL PopContext() override { unexpected(); }
  bool AVS_STDCALL MakeWritable(PVideoFrame*) override { unexpected(); }
  void AVS_STDCALL AtExit(ShutdownFunc, void*) override { unexpected(); }
  void AVS_STDCALL CheckVersion(int) override { unexpected(); }
  PVideoFrame AVS_STDCALL Subframe(PVideoFrame, int, int, int, int) override { unexpected(); }
  int AVS_STDCALL SetMemoryMax(int) override { unexpected(); }
  int AVS_STDCALL SetWorkingDir(const char*) override { unexpected(); }
  void* AVS_STDCALL ManageCache(int, void*) override { unexpected(); }
  bool AVS_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode) override { unexpected(); }
  PVideoFrame AVS_STDCALL SubframePlanar(PVideoFrame, int, int, int, int, int, int, int) override { unexpected(); }

 private:
  [[noreturn]] static void unexpected() { throw std::logic_error("the plugin used a slot it has no use for"); }

  std::deque<std::string> messages_;
  std::vector<std::unique_ptr<std::vector<BYTE>>> memory_;
  std::vector<std::unique_ptr<VideoFrameBuffer>> buffers_;
  std::vector<std::unique_ptr<VideoFrame>> frames_;
};

VideoInfo info_of(int pixel_type) {
  VideoInfo vi = yuy2_info(16, 8, 1);
  vi.pixel_type = pixel_type;
  return vi;
}

// A YUY2 frame with luma edges and chroma that disagrees with them, so
// that every parameter of the filter changes the result.
std::vector<BYTE> edged_frame(int width, int height) {
  std::vector<BYTE> rows(static_cast<std::size_t>(2 * width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 2 * width; ++x) {
      const bool luma = x % 2 == 0;
      const int column = x / 2;
      rows[y * 2 * width + x] = static_cast<BYTE>(
          luma ? ((column + y) % 7 < 3 ? 40 + 9 * column : 200 - 5 * y) : (x % 4 == 1 ? 30 + 23 * ((column + 2 * y) % 9) : 220 - 17 * (y % 5)));
    }
  return rows;
}

std::vector<BYTE> frame_bytes_of(const PClip& clip, IScriptEnvironment* env) {
  const VideoInfo& vi = clip->GetVideoInfo();
  const PVideoFrame frame = clip->GetFrame(0, env);
  std::vector<BYTE> bytes;
  for (int y = 0; y < vi.height; ++y)
    bytes.insert(bytes.end(), frame->GetReadPtr() + y * frame->GetPitch(),
                 frame->GetReadPtr() + y * frame->GetPitch() + 2 * vi.width);
  return bytes;
}

class PluginFactory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(plugin_module(), nullptr) << dlerror();
    auto init = reinterpret_cast<PluginInit>(dlsym(plugin_module(), "AvisynthPluginInit2"));
    ASSERT_NE(init, nullptr);
    version_ = init(&registrar_);
    ASSERT_EQ(registrar_.added_functions.size(), 1u);
    create_ = registrar_.added_functions[0];
    clips_destroyed_before_ = TestClip::destroyed + ConvertedClip::destroyed;
  }

  // Every clip this test made is gone again: nothing leaked a reference.
  void expect_all_released(int clips_made) {
    EXPECT_EQ(TestClip::destroyed + ConvertedClip::destroyed - clips_destroyed_before_, clips_made);
  }

  AVSValue create(const std::vector<AVSValue>& args) {
    return create_(AVSValue(args.data(), static_cast<int>(args.size())), nullptr, &env_);
  }

  std::string failure_of(const std::vector<AVSValue>& args) {
    try {
      create(args);
    } catch (const AvisynthError& error) {
      return error.msg;
    }
    return "(no error)";
  }

  // The frame a filter built directly with these values gives.
  std::vector<BYTE> direct_result(const Parameters& p) {
    auto* source = new TestClip(info_of(VideoInfo::CS_YUY2));
    source->set_frame(0, edged_frame(16, 8));
    const PClip filter = new QuillfenFilter(source, p, &env_);
    return frame_bytes_of(filter, &env_);
  }

  std::vector<BYTE> factory_result(std::vector<AVSValue> args) {
    auto* source = new TestClip(info_of(VideoInfo::CS_YUY2));
    source->set_frame(0, edged_frame(16, 8));
    args.insert(args.begin(), AVSValue(source));
    const AVSValue result = create(args);
    return frame_bytes_of(result.AsClip(), &env_);
  }

  RecordingEnvironment registrar_;
  RecordingEnvironment env_;
  IScriptEnvironment::ApplyFunc create_ = nullptr;
  const char* version_ = nullptr;
  int clips_destroyed_before_ = 0;
};

TEST_F(PluginFactory, RegistersTheFunctionOnceAndReturnsTheVersionText) {
  EXPECT_STREQ(version_, kQuillfenVersionText);
  EXPECT_EQ(registrar_.added_names[0], "Quillfen");
  EXPECT_EQ(registrar_.added_signatures[0], "c[sup]b[radius]i[gaussian]b[iterations]i[threshold]i");
  EXPECT_EQ(registrar_.added_user_data[0], nullptr);
  EXPECT_TRUE(registrar_.invokes.empty());
}

TEST_F(PluginFactory, ModuleExportsOnlyTheEntryPoint) {
  EXPECT_NE(dlsym(plugin_module(), "AvisynthPluginInit2"), nullptr);
  for (const char* hidden : {"create_quillfen", "_Z15create_quillfen7AVSValuePvP18IScriptEnvironment",
                             "_ZN14QuillfenFilter8GetFrameEiP18IScriptEnvironment", "_Z11unpack_yuy2PKhibiiPh"})
    EXPECT_EQ(dlsym(plugin_module(), hidden), nullptr) << hidden;
}

TEST_F(PluginFactory, OmittedArgumentsReadAsTheirDefaults) {
  const std::vector<BYTE> defaults = direct_result({});
  EXPECT_EQ(factory_result({}), defaults);
  EXPECT_EQ(factory_result({AVSValue(), AVSValue(), AVSValue(), AVSValue(), AVSValue()}), defaults);
  expect_all_released(3);
}

TEST_F(PluginFactory, ArgumentsOfTheWrongKindReadAsTheirDefaults) {
  const std::vector<BYTE> defaults = direct_result({});
  EXPECT_EQ(factory_result({AVSValue(1), AVSValue(true), AVSValue(1), AVSValue("3"), AVSValue(7.0)}), defaults);
  EXPECT_EQ(factory_result({AVSValue(2.0), AVSValue(false), AVSValue(5)}), defaults);
  expect_all_released(3);
}

TEST_F(PluginFactory, EachPositionReachesItsOwnParameter) {
  const std::vector<BYTE> defaults = direct_result({});
  struct Case {
    int position;
    AVSValue value;
    Parameters expected;
  };
  const std::vector<Case> cases = {
      {1, AVSValue(true), {.sup = true}},
      {2, AVSValue(2), {.radius = 2}},
      {3, AVSValue(true), {.gaussian = true}},
      {4, AVSValue(3), {.iterations = 3}},
      {5, AVSValue(0), {.threshold = 0}},
  };
  for (const Case& c : cases) {
    std::vector<AVSValue> args(5);
    args[c.position - 1] = c.value;
    const std::vector<BYTE> expected = direct_result(c.expected);
    ASSERT_NE(expected, defaults) << "position " << c.position << " must change the frame";
    EXPECT_EQ(factory_result(args), expected) << "position " << c.position;
  }
  expect_all_released(11);
}

TEST_F(PluginFactory, Yuy2SourceIsFilteredWithoutConversion) {
  auto* source = new TestClip(info_of(VideoInfo::CS_YUY2));
  {
    const AVSValue result = create({AVSValue(source)});
    ASSERT_TRUE(result.IsClip());
    EXPECT_NE(result.AsClip().get(), source);
    EXPECT_EQ(result.AsClip()->GetVideoInfo().pixel_type, VideoInfo::CS_YUY2);
    EXPECT_TRUE(env_.invokes.empty());
  }
  expect_all_released(1);
}

TEST_F(PluginFactory, PlanarSourcesAreConvertedBeforeAndAfterTheFilter) {
  for (const int pixel_type : {int(VideoInfo::CS_YV12), int(VideoInfo::CS_I420)}) {
    env_.invokes.clear();
    env_.yuy2_frame = edged_frame(16, 8);
    auto* source = new TestClip(info_of(pixel_type));
    {
      const AVSValue result = create({AVSValue(source)});
      ASSERT_EQ(env_.invokes.size(), 2u);
      const InvokeCall& to_yuy2 = env_.invokes[0];
      const InvokeCall& to_yv12 = env_.invokes[1];
      EXPECT_EQ(to_yuy2.name, "ConvertToYUY2");
      EXPECT_EQ(to_yuy2.argument_kind, 'c');
      EXPECT_EQ(to_yuy2.argument, source);
      EXPECT_FALSE(to_yuy2.names_given);
      EXPECT_EQ(to_yv12.name, "ConvertToYV12");
      EXPECT_EQ(to_yv12.argument_kind, 'c');
      EXPECT_FALSE(to_yv12.names_given);
      // The second conversion gets the filter, not the converted source,
      // and what it returns is the result, I420 included.
      EXPECT_NE(to_yv12.argument, source);
      EXPECT_EQ(to_yv12.argument->GetVideoInfo().pixel_type, VideoInfo::CS_YUY2);
      EXPECT_EQ(result.AsClip().get(), env_.last_conversion);
      EXPECT_EQ(result.AsClip()->GetVideoInfo().pixel_type, VideoInfo::CS_YV12);
      // The filter in between filters the converted source.
      const PClip filter = to_yv12.argument;
      EXPECT_EQ(frame_bytes_of(filter, &env_), direct_result({}));
    }
  }
  // Per run: the source, the YUY2 conversion, the YV12 conversion, the direct filter's source.
  expect_all_released(8);
}

TEST_F(PluginFactory, MissingConversionToYuy2IsReportedBeforeAnyParameterCheck) {
  env_.missing = {"ConvertToYUY2"};
  EXPECT_EQ(failure_of({AVSValue(new TestClip(info_of(VideoInfo::CS_YV12)))}),
            "Quillfen: ConvertToYUY2 function not found.");
  EXPECT_EQ(failure_of({AVSValue(new TestClip(info_of(VideoInfo::CS_YV12))), AVSValue(), AVSValue(0),
                        AVSValue(), AVSValue(-1), AVSValue(300)}),
            "Quillfen: ConvertToYUY2 function not found.");
  expect_all_released(2);
}

TEST_F(PluginFactory, MissingConversionToYv12ReleasesTheBuiltFilter) {
  env_.missing = {"ConvertToYV12"};
  EXPECT_EQ(failure_of({AVSValue(new TestClip(info_of(VideoInfo::CS_I420)))}),
            "Quillfen: ConvertToYV12 function not found.");
  ASSERT_EQ(env_.invokes.size(), 2u);
  // The source and its YUY2 conversion, which only the filter held.
  expect_all_released(2);
}

TEST_F(PluginFactory, BadParameterOnAPlanarSourceStopsBeforeTheSecondConversion) {
  const std::vector<std::pair<std::vector<AVSValue>, std::string>> cases = {
      {{AVSValue(), AVSValue(0)}, "Quillfen: \"radius\" parameter must be greater than or equal to one."},
      {{AVSValue(), AVSValue(), AVSValue(), AVSValue(-1)},
       "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive."},
      {{AVSValue(), AVSValue(), AVSValue(), AVSValue(1001)},
       "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive."},
      {{AVSValue(), AVSValue(), AVSValue(), AVSValue(), AVSValue(256)},
       "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive."},
  };
  for (const auto& [parameters, message] : cases) {
    env_.invokes.clear();
    std::vector<AVSValue> args = parameters;
    args.insert(args.begin(), AVSValue(new TestClip(info_of(VideoInfo::CS_YV12))));
    EXPECT_EQ(failure_of(args), message);
    ASSERT_EQ(env_.invokes.size(), 1u);
    EXPECT_EQ(env_.invokes[0].name, "ConvertToYUY2");
  }
  expect_all_released(8);
}

TEST_F(PluginFactory, OtherFormatsAreRefusedByTheFilterUnconverted) {
  // RGB32, and newer hosts' formats that carry every bit of the YV12 code:
  // 8-bit planar 4:2:2, 4:4:4 and 4:1:1, and 16-bit 4:2:0.
  const unsigned refused[] = {VideoInfo::CS_BGR32, 0xA0000308u, 0xA000030Bu, 0xA0000309u, 0xA0010008u};
  for (const unsigned pixel_type : refused)
    EXPECT_EQ(failure_of({AVSValue(new TestClip(info_of(static_cast<int>(pixel_type))))}),
              "Quillfen: YUY2 or YV12 data only.")
        << std::hex << pixel_type;
  VideoInfo no_video = info_of(0);
  no_video.width = no_video.height = 0;
  EXPECT_EQ(failure_of({AVSValue(new TestClip(no_video))}), "Quillfen: the clip has no video.");
  EXPECT_TRUE(env_.invokes.empty());
  expect_all_released(6);
}

// With the AviSynth+ module in the same environment this one takes no call:
// it reached it only by being loaded after that one.
TEST_F(PluginFactory, RefusesEveryCallBesideTheAvisynthPlusModule) {
  env_.variables = {"$QuillfenAviSynthPlusModule$"};
  for (const int pixel_type : {int(VideoInfo::CS_YUY2), int(VideoInfo::CS_YV12)})
    EXPECT_EQ(failure_of({AVSValue(new TestClip(info_of(pixel_type)))}), kBothAvisynthModules);
  EXPECT_TRUE(env_.invokes.empty());
  expect_all_released(2);
}

// AviSynth+ on Linux: after the call returns it releases each clip argument
// once more than it took, counting all 8 bytes. The source must outlive the
// filter that reads it, and everything must still be freed in the end. Any
// other host (the project's own server included) releases nothing extra.
TEST_F(PluginFactory, EachClipArgumentOutlivesAHostThatReleasesItOnceMore) {
  for (const bool avisynthplus : {true, false}) {
    env_.defined = avisynthplus ? std::set<std::string>{"AddAutoloadDir"} : std::set<std::string>{};
    for (const int pixel_type : {int(VideoInfo::CS_YUY2), int(VideoInfo::CS_YV12)}) {
      const bool filtered_directly = pixel_type == VideoInfo::CS_YUY2;
      auto* source = new TestClip(info_of(pixel_type));
      // A YV12 source's frames come from its conversion to YUY2.
      if (filtered_directly) source->set_frame(0, edged_frame(16, 8));
      env_.yuy2_frame = edged_frame(16, 8);
      AVSValue result;
      {
        const std::vector<AVSValue> args = {AVSValue(source), AVSValue(true)};
        result = create(args);
        if (avisynthplus) host_release(source);
        // The argument array's reference, and the filter's own on a source it reads directly.
        EXPECT_EQ(host_clip_count(source), filtered_directly ? 2 : 1) << "AviSynth+ " << avisynthplus;
      }
      EXPECT_EQ(frame_bytes_of(result.AsClip(), &env_), direct_result({.sup = true}));
    }
  }
  // Per host: the YUY2 source, the YV12 source with its two conversions, the direct filters' sources.
  expect_all_released(12);
}

TEST_F(PluginFactory, OtherConversionFailuresPassThroughUnchanged) {
  env_.failing = {"ConvertToYUY2"};
  EXPECT_THROW(create({AVSValue(new TestClip(info_of(VideoInfo::CS_YV12)))}), ConversionFailure);
  env_.failing = {"ConvertToYV12"};
  EXPECT_THROW(create({AVSValue(new TestClip(info_of(VideoInfo::CS_YV12)))}), ConversionFailure);
  expect_all_released(3);
}

}  // namespace

}  // namespace quillfen
