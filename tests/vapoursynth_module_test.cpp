// The VapourSynth module in a real VapourSynth: the tests' own C++ host and
// vspipe load it, and in every format it takes every frame must equal the
// reference pass's through FrameFilter and the quillfen command's for
// the same clip and settings, with frames requested many at once (float
// clips made from the 8-bit ones the reference's floats); refusals carry
// the script function's messages; a whole run is clean under
// valgrind, the core's count of filter instances included; the README's
// Debian example reads a real video as ffmpeg does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "filter/frame_filter.h"
#include "tests/hosts/float_from_bytes.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace quillfen {

namespace {

namespace fs = std::filesystem;

#ifdef QUILLFEN_VAPOURSYNTH_HOST
constexpr const char* kSkipReason = nullptr;
#else
constexpr const char* kSkipReason = QUILLFEN_VAPOURSYNTH_SKIP_REASON;
#endif

constexpr int kFrames = 6;

// A clip's colour format by its Y4M tag, and the frame size the tests give
// it: 4:4:4 takes odd sizes.
struct ClipFormat {
  const char* tag;
  ChromaLayout layout;
  int bits;
  int width;
  int height;

  int chroma_width() const { return layout == ChromaLayout::k444 ? width : width / 2; }
  int chroma_height() const { return layout == ChromaLayout::k420 ? height / 2 : height; }
  int sample_bytes() const { return bits > 8 ? 2 : 1; }
};

constexpr ClipFormat k422{"C422", ChromaLayout::k422, 8, 40, 24};
constexpr ClipFormat k420{"C420mpeg2", ChromaLayout::k420, 8, 40, 24};
constexpr ClipFormat k444Deep{"C444p16", ChromaLayout::k444, 16, 39, 23};
constexpr ClipFormat kFormats[] = {k422, k420, {"C422p10", ChromaLayout::k422, 10, 40, 24},
                                   {"C420p16", ChromaLayout::k420, 16, 40, 24},
                                   {"C444", ChromaLayout::k444, 8, 39, 23}, k444Deep};

std::string header_of(const ClipFormat& format) {
  return "YUV4MPEG2 W" + std::to_string(format.width) + " H" + std::to_string(format.height) + " F30000:1001 Ip A1:1 " +
         format.tag + "\n";
}

// Frame n's planes as Y4M holds them (two bytes a sample above 8 bits,
// little-endian): luma in blocks with soft and hard edges, chroma that runs
// across them, every frame shifted. Deeper samples carry the 8-bit pattern
// in their top bits and one of their own below it.
std::array<std::string, 3> frame_planes(const ClipFormat& format, int n) {
  const int shift = format.bits - 8;
  std::array<std::string, 3> planes;
  const auto put = [&](std::string& plane, int level, int low) {
    const int sample = (level << shift) | (low & ((1 << shift) - 1));
    plane += static_cast<char>(sample & 0xFF);
    if (format.bits > 8) plane += static_cast<char>(sample >> 8);
  };
  for (int y = 0; y < format.height; ++y)
    for (int x = 0; x < format.width; ++x)
      put(planes[0], ((x + 2 * n) / 7 + y / 5) % 2 ? 220 - 3 * y : 30 + 4 * ((x * y + n) % 9), x * 5 + y * 3 + n);
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < format.chroma_height(); ++y)
      for (int x = 0; x < format.chroma_width(); ++x)
        put(planes[plane], 16 + (x * 37 * plane + y * 53 + n * 29) % 224, x * 11 + y * 7 + plane);
  return planes;
}

std::string make_clip(const ClipFormat& format) {
  std::string clip = header_of(format);
  for (int n = 0; n < kFrames; ++n) {
    const std::array<std::string, 3> planes = frame_planes(format, n);
    for (const std::string& part : {std::string("FRAME\n"), planes[0], planes[1], planes[2]}) clip += part;
  }
  return clip;
}

// An 8-bit frame's planes made float as the host programs make them.
std::array<std::string, 3> float_planes(const std::array<std::string, 3>& planes) {
  std::array<std::string, 3> floats;
  for (int plane = 0; plane < 3; ++plane) {
    floats[plane].resize(4 * planes[plane].size());
    const auto* codes = reinterpret_cast<const std::uint8_t*>(planes[plane].data());
    float_plane_from_bytes(codes, 0, reinterpret_cast<std::uint8_t*>(floats[plane].data()), 0,
                           static_cast<int>(planes[plane].size()), 1, plane == 0);
  }
  return floats;
}

// The clip's frames through FrameFilter with the reference pass, the
// definition every kernel and route must give the bytes of; `as_float`
// makes an 8-bit clip's frames float first.
std::string reference_output(const ClipFormat& format, const std::vector<std::string>& settings,
                             bool as_float = false) {
  QuillfenParameters parameters;
  for (const std::string& setting : settings) {
    const std::string name = setting.substr(0, setting.find('=')), value = setting.substr(setting.find('=') + 1);
    for (const QuillfenParameter& parameter : kQuillfenParameters)
      if (name == parameter.name)
        set_value(parameters, parameter, value == "true" ? 1 : value == "false" ? 0 : std::stoi(value));
  }
  FrameFilter filter({format.width, format.height, format.layout, as_float ? kFloatBits : format.bits}, parameters,
                     supported_pass_kernels().front());
  const int sample_bytes = as_float ? 4 : format.sample_bytes();
  const std::ptrdiff_t pitch = format.width * sample_bytes;
  const std::ptrdiff_t chroma_pitch = format.chroma_width() * sample_bytes;
  std::string out = header_of(format);
  for (int n = 0; n < kFrames; ++n) {
    const std::array<std::string, 3> planes =
        as_float ? float_planes(frame_planes(format, n)) : frame_planes(format, n);
    std::string u(planes[1].size(), '\0'), v(u);
    const auto bytes = [](const std::string& plane) { return reinterpret_cast<const std::uint8_t*>(plane.data()); };
    filter.filter({{bytes(planes[0]), bytes(planes[1]), bytes(planes[2])}, {pitch, chroma_pitch, chroma_pitch}},
                  {{nullptr, reinterpret_cast<std::uint8_t*>(u.data()), reinterpret_cast<std::uint8_t*>(v.data())},
                   {0, chroma_pitch, chroma_pitch}});
    for (const std::string& part : {std::string("FRAME\n"), planes[0], u, v}) out += part;
  }
  return out;
}

// Empty when the outputs are equal, else where they part: a failure message
// that fits on a screen.
std::string difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  return std::to_string(actual.size()) + " bytes against " + std::to_string(expected.size()) + ", parting at byte " +
         std::to_string(parted.first - actual.begin());
}

constexpr const char kNoSystemPlugins[] = "AutoloadSystemPluginDir=false\n";

class VapourSynthModule : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kSkipReason) GTEST_SKIP() << "skipped: " << kSkipReason;
    char pattern[] = "/tmp/quillfen-vapoursynth-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Every run loads the module under test and no other copy: VapourSynth
    // R65 autoloads its system plugin folder even into a core made without
    // autoloading, and a Quillfen installed there would be "already loaded".
    fs::create_directories(dir_ / "config/vapoursynth");
    write_file(dir_ / "config/vapoursynth/vapoursynth.conf", kNoSystemPlugins);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  fs::path clip(const ClipFormat& format) {
    const fs::path path = dir_ / (std::string(format.tag) + ".y4m");
    write_file(path, make_clip(format));
    return path;
  }

  std::string command_output(const fs::path& input, const std::vector<std::string>& settings) {
    std::vector<std::string> arguments = {QUILLFEN_COMMAND_PATH, "--quiet", input, dir_ / "command.y4m"};
    arguments.insert(arguments.end(), settings.begin(), settings.end());
    const ProcessOutcome outcome = run_process(arguments);
    EXPECT_EQ(outcome.status, 0) << outcome.errors;
    return read_file(dir_ / "command.y4m");
  }

  // The host's run; `prefix` runs it under another program (valgrind).
  ProcessOutcome host([[maybe_unused]] const std::string& source, [[maybe_unused]] const fs::path& output,
                      const std::vector<std::string>& settings, std::vector<std::string> prefix = {}) {
#ifdef QUILLFEN_VAPOURSYNTH_HOST
    prefix.insert(prefix.end(), {QUILLFEN_VAPOURSYNTH_HOST, QUILLFEN_VAPOURSYNTH_MODULE, source,
                                 output.empty() ? "-" : output.string(), "--threads", "4"});
#endif
    prefix.insert(prefix.end(), settings.begin(), settings.end());
    return run_process(prefix, {}, {config()});
  }

  // The environment entry that points VapourSynth at the test's own settings.
  std::string config() const { return "XDG_CONFIG_HOME=" + (dir_ / "config").string(); }

  fs::path dir_;
};

const std::vector<std::vector<std::string>> kSettings = {
    {},
    {"sup=true"},
    {"radius=2", "gaussian=true"},
    {"radius=3", "gaussian=true", "sup=true", "iterations=2"},
    {"radius=2", "gaussian=true", "threshold=12"},
    {"iterations=3", "threshold=0"},
};

TEST_F(VapourSynthModule, EveryFrameEqualsTheReferenceAndTheCommandsInEveryFormatAndSetting) {
  for (const ClipFormat& format : kFormats) {
    const fs::path input = clip(format);
    for (const std::vector<std::string>& settings : kSettings) {
      SCOPED_TRACE(::testing::Message() << format.tag << " " << ::testing::PrintToString(settings));
      const ProcessOutcome outcome = host(input, dir_ / "host.y4m", settings);
      ASSERT_EQ(outcome.status, 0) << outcome.errors;
      const std::string filtered = read_file(dir_ / "host.y4m");
      EXPECT_EQ(difference(filtered, reference_output(format, settings)), "") << "the reference";
      EXPECT_EQ(difference(filtered, command_output(input, settings)), "") << "the command";
    }
  }
}

// The 8-bit clips made float by the host give the reference pass's floats.
TEST_F(VapourSynthModule, FloatFramesEqualTheReference) {
  for (const ClipFormat& format : kFormats) {
    if (format.bits != 8) continue;
    const fs::path input = clip(format);
    for (const std::vector<std::string>& settings : kSettings) {
      SCOPED_TRACE(::testing::Message() << format.tag << " float " << ::testing::PrintToString(settings));
      const ProcessOutcome outcome = host("float:" + input.string(), dir_ / "host.out", settings);
      ASSERT_EQ(outcome.status, 0) << outcome.errors;
      EXPECT_EQ(difference(read_file(dir_ / "host.out"), reference_output(format, settings, true)), "");
    }
  }
}

TEST_F(VapourSynthModule, RefusesWithTheScriptFunctionsMessages) {
  // The clip's format by VapourSynth's name, and the conversion to one taken.
  const auto formats = [](const std::string& name, const std::string& conversion) {
    return "Quillfen: the clip is " + name +
           "; YUV 4:2:0, 4:2:2 or 4:4:4 with integer samples of 8 to 16 bits or 32-bit float only: convert it "
           "first, e.g. "
           "core.resize.Bicubic(clip, format=vs." + conversion + ")";
  };
  const std::string radius = "Quillfen: \"radius\" parameter must be greater than or equal to one.";
  const std::string iterations = "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive.";
  const std::string threshold = "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive.";
  const std::string too_wide = "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  const struct {
    std::string source;
    std::vector<std::string> settings;
    std::string message;
  } cases[] = {
      {"blank:RGB24:64x32", {"radius=0"}, formats("RGB24", "YUV444P8, matrix_s=\"709\"")},
      {"blank:RGB48:64x32", {}, formats("RGB48", "YUV444P16, matrix_s=\"709\"")},
      {"blank:GRAY8:64x32", {}, formats("Gray8", "YUV444P8")},
      {"blank:GRAY16:64x32", {}, formats("Gray16", "YUV444P16")},
      {"blank:YUV411P8:64x32", {}, formats("YUV411P8", "YUV444P8")},
      {"blank:YUV440P8:64x32", {}, formats("YUV440P8", "YUV444P8")},
      {"blank:YUV444PH:64x32", {}, formats("YUV444PH", "YUV444PS")},
      {"blank:RGBS:64x32", {}, formats("RGBS", "YUV444PS, matrix_s=\"709\"")},
      {"blank:variable:64x32", {}, "Quillfen: clip must have a constant format."},
      {"blank:YUV420P8:0x0", {}, "Quillfen: clip must have a constant frame size."},
      {"blank:YUV422P8:64x32", {"radius=0", "threshold=256"}, radius},
      {"blank:YUV422P8:64x32", {"iterations=-1"}, iterations},
      {"blank:YUV422P8:64x32", {"iterations=1001"}, iterations},
      {"blank:YUV422P8:64x32", {"iterations=4294967298"}, iterations},
      {"blank:YUV422P8:64x32", {"iterations=-4294967295"}, iterations},
      {"blank:YUV420P8:64x32", {"threshold=-1"}, threshold},
      {"blank:YUV420P8:64x32", {"threshold=4294967296"}, threshold},
      {"blank:YUV420P8:64x32", {"radius=32"}, too_wide},
      {"blank:YUV420P8:64x32", {"radius=4294967298"}, too_wide},
      {"blank:YUV444P16:63x5", {"radius=5"}, too_wide},
      {"blank:YUV422P8:63x32", {},
       "Quillfen: the clip is YUV422P8 of 63x32; 4:2:2 needs an even width: make it even before the clip becomes "
       "YUV422P8, e.g. core.std.Crop(clip, right=1) or core.std.AddBorders(clip, right=1) where it is 4:4:4 or "
       "RGB."},
      {"blank:YUV420P10:64x31", {},
       "Quillfen: the clip is YUV420P10 of 64x31; 4:2:0 needs an even height: make it even before the clip "
       "becomes YUV420P10, e.g. core.std.Crop(clip, bottom=1) or core.std.AddBorders(clip, bottom=1) where it is "
       "4:4:4 or RGB."},
  };
  for (const auto& c : cases) {
    const ProcessOutcome outcome = host(c.source, "", c.settings);
    EXPECT_EQ(outcome.status, 2) << c.source;
    EXPECT_EQ(outcome.errors, c.message + "\n") << c.source << " " << ::testing::PrintToString(c.settings);
  }
  // The edges of the ranges are taken, every depth from 8 to 16 bits and
  // float, and 4:4:4 frames of odd sizes.
  const struct {
    const char* source;
    const char* setting;
  } accepted[] = {
      {"blank:YUV420P8:64x32", "threshold=0"},  {"blank:YUV420P8:64x32", "threshold=255"},
      {"blank:YUV420P8:64x32", "radius=31"},    {"blank:YUV420P9:64x32", "radius=2"},
      {"blank:YUV422P11:64x32", "radius=2"},    {"blank:YUV444P13:63x5", "radius=4"},
      {"blank:YUV420P14:64x32", "radius=2"},    {"blank:YUV422P16:64x32", "threshold=0"},
      {"blank:YUV420P8:64x32", "iterations=1000"},
      {"blank:YUV420PS:64x32", "radius=2"},
  };
  for (const auto& a : accepted) EXPECT_EQ(host(a.source, "", {a.setting}).status, 0) << a.source << " " << a.setting;
}

TEST_F(VapourSynthModule, WholeRunsAreCleanUnderValgrind) {
#ifdef QUILLFEN_VALGRIND
  const std::vector<std::string> valgrind = {QUILLFEN_VALGRIND, "--error-exitcode=97", "--leak-check=full",
                                             "--errors-for-leak-kinds=definite", "--show-leak-kinds=definite"};
  for (const ClipFormat& format : {k422, k420, k444Deep}) {
    const fs::path input = clip(format);
    const bool gaussian = format.layout != ChromaLayout::k420;
    const std::vector<std::string> settings = {"radius=2", gaussian ? "gaussian=true" : "gaussian=false", "sup=true",
                                               "iterations=2"};
    const ProcessOutcome outcome = host(input, dir_ / "host.y4m", settings, valgrind);
    EXPECT_EQ(outcome.status, 0) << format.tag << ": " << outcome.errors;
    EXPECT_EQ(difference(read_file(dir_ / "host.y4m"), reference_output(format, settings)), "") << format.tag;
  }
  const ProcessOutcome refused = host("blank:YUV422P8:64x32", "", {"radius=0"}, valgrind);
  EXPECT_EQ(refused.status, 2) << refused.errors;
#else
  GTEST_SKIP() << "skipped: valgrind not installed";
#endif
}

// vspipe writes a header of its own; the frames must be the reference's.
[[maybe_unused]] std::string frames_of(const std::string& y4m) { return y4m.substr(y4m.find('\n') + 1); }

TEST_F(VapourSynthModule, VspipeScriptGivesTheReferenceFrames) {
#ifdef QUILLFEN_VAPOURSYNTH_HOST
  const std::vector<std::string> environment = {"PYTHONPATH=" QUILLFEN_VAPOURSYNTH_PYTHONPATH, config()};
  const std::vector<std::string> settings = {"radius=2", "gaussian=true", "sup=true"};
  for (const ClipFormat& format : {k422, k420, k444Deep}) {
    const fs::path input = clip(format), filtered = dir_ / "vspipe.y4m";
    const ProcessOutcome outcome =
        run_process({QUILLFEN_VSPIPE, "-c", "y4m", "-a", "clip=" + input.string(), "-a",
                     "module=" QUILLFEN_VAPOURSYNTH_MODULE, "-a", "settings=radius=2 gaussian=1 sup=1",
                     QUILLFEN_HOSTS_DIR "/quillfen_y4m.vpy", filtered},
                    {}, environment);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(difference(frames_of(read_file(filtered)), frames_of(reference_output(format, settings))), "")
        << format.tag;
  }
#endif
}

// contrib's example script as a Debian user runs it: Debian's FFMS2 reads a
// video ffmpeg made, the module is autoloaded from a user plugin folder, and
// the frames must be those of ffmpeg piped to the command with the script's
// settings. FFV1 is lossless, so both routes decode the same frames.
TEST_F(VapourSynthModule, DebianExampleGivesTheFramesOfFfmpegPipedToTheCommand) {
#ifdef QUILLFEN_VAPOURSYNTH_HOST
#ifndef QUILLFEN_FFMPEG
  GTEST_SKIP() << "skipped: ffmpeg not installed (Debian: ffmpeg)";
#else
  const std::string script = read_file(QUILLFEN_VAPOURSYNTH_EXAMPLE);
  const std::string load = "LoadPlugin(\"";
  const std::size_t path_start = script.find(load) + load.size();
  const fs::path ffms2 = script.substr(path_start, script.find('"', path_start) - path_start);
  if (!fs::exists(ffms2)) GTEST_SKIP() << "skipped: FFMS2 not installed (" << ffms2.string() << "; Debian: libffms2-5)";
  const fs::path plugins = dir_ / "plugins", config = dir_ / "config";
  fs::create_directories(plugins);
  fs::create_directories(config / "vapoursynth");
  fs::create_symlink(QUILLFEN_VAPOURSYNTH_MODULE, plugins / "libquillfen_vapoursynth.so");
  write_file(config / "vapoursynth/vapoursynth.conf", "UserPluginDir=" + plugins.string() + "\n" + kNoSystemPlugins);
  const std::vector<std::string> environment = {"PYTHONPATH=" QUILLFEN_VAPOURSYNTH_PYTHONPATH,
                                                "XDG_CONFIG_HOME=" + config.string()};
  for (bool four_two_two : {true, false}) {
    // FFMS2 keeps its index beside the video, here in the test's folder.
    const fs::path video = dir_ / (four_two_two ? "input-422.mkv" : "input-420.mkv");
    const fs::path piped = dir_ / "piped.y4m", vspiped = dir_ / "vspipe.y4m";
    ProcessOutcome outcome =
        run_process({QUILLFEN_FFMPEG, "-v", "error", "-i", clip(four_two_two ? k422 : k420), "-c:v", "ffv1", video});
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    outcome = run_process({"/bin/bash", "-c",
                           "set -o pipefail; \"$0\" -v error -i \"$1\" -f yuv4mpegpipe - | "
                           "\"$2\" --quiet - \"$3\" radius=2 gaussian=true",
                           QUILLFEN_FFMPEG, video, QUILLFEN_COMMAND_PATH, piped});
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    outcome = run_process(
        {QUILLFEN_VSPIPE, "-c", "y4m", "-a", "source=" + video.string(), QUILLFEN_VAPOURSYNTH_EXAMPLE, vspiped}, {},
        environment);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(frames_of(read_file(vspiped)), frames_of(read_file(piped))) << (four_two_two ? "4:2:2" : "4:2:0");
  }
#endif
#endif
}

}  // namespace

}  // namespace quillfen
