// The VapourSynth module in a real VapourSynth: the tests' own C++ host and
// vspipe load it, and every frame must equal the quillfen command's for the
// same clip and settings, with frames requested many at once; refusals
// carry the script function's messages; a whole run is clean under
// valgrind, the core's count of filter instances included; the README's
// Debian example reads a real video as ffmpeg does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;

#ifdef QUILLFEN_VAPOURSYNTH_HOST
constexpr const char* kSkipReason = nullptr;
#else
constexpr const char* kSkipReason = QUILLFEN_VAPOURSYNTH_SKIP_REASON;
#endif

constexpr int kWidth = 40;
constexpr int kHeight = 24;
constexpr int kFrames = 6;

// Luma in blocks with soft and hard edges, chroma that runs across them;
// every frame shifted.
std::string make_clip(bool four_two_two) {
  const int chroma_height = four_two_two ? kHeight : kHeight / 2;
  std::string clip = "YUV4MPEG2 W" + std::to_string(kWidth) + " H" + std::to_string(kHeight) + " F30000:1001 Ip A1:1 " +
                     (four_two_two ? "C422" : "C420mpeg2") + "\n";
  for (int n = 0; n < kFrames; ++n) {
    clip += "FRAME\n";
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        clip += static_cast<char>(((x + 2 * n) / 7 + y / 5) % 2 ? 220 - 3 * y : 30 + 4 * ((x * y + n) % 9));
    for (int plane = 1; plane <= 2; ++plane)
      for (int y = 0; y < chroma_height; ++y)
        for (int x = 0; x < kWidth / 2; ++x) clip += static_cast<char>(16 + (x * 37 * plane + y * 53 + n * 29) % 224);
  }
  return clip;
}

class VapourSynthModule : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kSkipReason) GTEST_SKIP() << "skipped: " << kSkipReason;
    char pattern[] = "/tmp/quillfen-vapoursynth-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  fs::path clip(bool four_two_two) {
    const fs::path path = dir_ / (four_two_two ? "in422.y4m" : "in420.y4m");
    write_file(path, make_clip(four_two_two));
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
    return run_process(prefix);
  }

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

TEST_F(VapourSynthModule, EveryFrameEqualsTheCommandsOnBothFormatsAndAllSettings) {
  for (bool four_two_two : {true, false}) {
    const fs::path input = clip(four_two_two);
    for (const std::vector<std::string>& settings : kSettings) {
      const std::string expected = command_output(input, settings);
      const ProcessOutcome outcome = host(input, dir_ / "host.y4m", settings);
      ASSERT_EQ(outcome.status, 0) << outcome.errors;
      EXPECT_EQ(read_file(dir_ / "host.y4m"), expected)
          << (four_two_two ? "4:2:2 " : "4:2:0 ") << ::testing::PrintToString(settings);
    }
  }
}

TEST_F(VapourSynthModule, RefusesWithTheScriptFunctionsMessages) {
  const std::string formats = "Quillfen: YUV 4:2:0, 4:2:2 or 4:4:4 with integer samples of 8 to 16 bits only.";
  const std::string radius = "Quillfen: \"radius\" parameter must be greater than or equal to one.";
  const std::string threshold = "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive.";
  const std::string too_wide = "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  const struct {
    std::string source;
    std::vector<std::string> settings;
    std::string message;
  } cases[] = {
      {"blank:RGB24:64x32", {"radius=0"}, formats},
      {"blank:RGB48:64x32", {}, formats},
      {"blank:GRAY8:64x32", {}, formats},
      {"blank:GRAY16:64x32", {}, formats},
      {"blank:YUV411P8:64x32", {}, formats},
      {"blank:YUV440P8:64x32", {}, formats},
      {"blank:YUV420PS:64x32", {}, formats},
      {"blank:YUV444PH:64x32", {}, formats},
      {"blank:variable:64x32", {}, formats},
      {"blank:YUV420P8:0x0", {}, "Quillfen: clip must have a constant frame size."},
      {"blank:YUV422P8:64x32", {"radius=0", "threshold=256"}, radius},
      {"blank:YUV422P8:64x32", {"iterations=-1"},
       "Quillfen: \"iterations\" parameter must be greater than or equal to zero."},
      {"blank:YUV420P8:64x32", {"threshold=-1"}, threshold},
      {"blank:YUV420P8:64x32", {"threshold=4294967296"}, threshold},
      {"blank:YUV420P8:64x32", {"radius=32"}, too_wide},
      {"blank:YUV420P8:64x32", {"radius=4294967298"}, too_wide},
      {"blank:YUV444P16:63x5", {"radius=5"}, too_wide},
      {"blank:YUV422P8:63x32", {}, "Quillfen: frame width must be even."},
      {"blank:YUV420P10:64x31", {}, "Quillfen: frame height must be even for 4:2:0."},
  };
  for (const auto& c : cases) {
    const ProcessOutcome outcome = host(c.source, "", c.settings);
    EXPECT_EQ(outcome.status, 2) << c.source;
    EXPECT_EQ(outcome.errors, c.message + "\n") << c.source << " " << ::testing::PrintToString(c.settings);
  }
  // The edges of the ranges are taken, every depth from 8 to 16 bits, and
  // 4:4:4 frames of odd sizes.
  const struct {
    const char* source;
    const char* setting;
  } accepted[] = {
      {"blank:YUV420P8:64x32", "threshold=0"},  {"blank:YUV420P8:64x32", "threshold=255"},
      {"blank:YUV420P8:64x32", "radius=31"},    {"blank:YUV420P9:64x32", "radius=2"},
      {"blank:YUV422P11:64x32", "radius=2"},    {"blank:YUV444P13:63x5", "radius=4"},
      {"blank:YUV420P14:64x32", "radius=2"},    {"blank:YUV422P16:64x32", "threshold=0"},
  };
  for (const auto& a : accepted) EXPECT_EQ(host(a.source, "", {a.setting}).status, 0) << a.source << " " << a.setting;
}

TEST_F(VapourSynthModule, WholeRunsAreCleanUnderValgrind) {
#ifdef QUILLFEN_VALGRIND
  const std::vector<std::string> valgrind = {QUILLFEN_VALGRIND, "--error-exitcode=97", "--leak-check=full",
                                             "--errors-for-leak-kinds=definite", "--show-leak-kinds=definite"};
  for (bool four_two_two : {true, false}) {
    const fs::path input = clip(four_two_two);
    const std::vector<std::string> settings = {"radius=2", "gaussian=" + std::string(four_two_two ? "true" : "false"),
                                               "sup=true", "iterations=2"};
    const ProcessOutcome outcome = host(input, dir_ / "host.y4m", settings, valgrind);
    EXPECT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(read_file(dir_ / "host.y4m"), command_output(input, settings));
  }
  const ProcessOutcome refused = host("blank:YUV422P8:64x32", "", {"radius=0"}, valgrind);
  EXPECT_EQ(refused.status, 2) << refused.errors;
#else
  GTEST_SKIP() << "skipped: valgrind not installed";
#endif
}

// vspipe writes a header of its own; the frames must be the command's.
[[maybe_unused]] std::string frames_of(const std::string& y4m) { return y4m.substr(y4m.find('\n') + 1); }

TEST_F(VapourSynthModule, VspipeScriptGivesTheCommandsFrames) {
#ifdef QUILLFEN_VAPOURSYNTH_HOST
  const std::vector<std::string> environment = {"PYTHONPATH=" QUILLFEN_VAPOURSYNTH_PYTHONPATH};
  const std::vector<std::string> settings = {"radius=2", "gaussian=true", "sup=true"};
  for (bool four_two_two : {true, false}) {
    const fs::path input = clip(four_two_two), filtered = dir_ / "vspipe.y4m";
    const ProcessOutcome outcome =
        run_process({QUILLFEN_VSPIPE, "-c", "y4m", "-a", "clip=" + input.string(), "-a",
                     "module=" QUILLFEN_VAPOURSYNTH_MODULE, "-a", "settings=radius=2 gaussian=1 sup=1",
                     QUILLFEN_HOSTS_DIR "/quillfen_y4m.vpy", filtered},
                    {}, environment);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(frames_of(read_file(filtered)), frames_of(command_output(input, settings)))
        << (four_two_two ? "4:2:2" : "4:2:0");
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
  write_file(config / "vapoursynth/vapoursynth.conf", "UserPluginDir=" + plugins.string() + "\n");
  const std::vector<std::string> environment = {"PYTHONPATH=" QUILLFEN_VAPOURSYNTH_PYTHONPATH,
                                                "XDG_CONFIG_HOME=" + config.string()};
  for (bool four_two_two : {true, false}) {
    // FFMS2 keeps its index beside the video, here in the test's folder.
    const fs::path video = dir_ / (four_two_two ? "input-422.mkv" : "input-420.mkv");
    const fs::path piped = dir_ / "piped.y4m", vspiped = dir_ / "vspipe.y4m";
    ProcessOutcome outcome =
        run_process({QUILLFEN_FFMPEG, "-v", "error", "-i", clip(four_two_two), "-c:v", "ffv1", video});
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
