// The quillfen command end to end, as a user runs it: generated Y4M clips
// in and out through files and pipes, in several worker counts and ranges;
// and its frame pipeline driven directly, in each way of converting frames.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/direct_filter.h"
#include "cli/frame_worker.h"
#include "cli/frame_pipeline.h"
#include "cli/progress_line.h"
#include "filter/quillfen_parameters.h"
#include "filter/quillfen_version.h"
#include "tests/support/files.h"
#include "tests/support/png_file.h"
#include "y4m/y4m_reader.h"
#include "y4m/y4m_writer.h"

extern char** environ;

namespace quillfen {

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
constexpr int kFrames = 7;
// The test clips are top field first.
constexpr const char kInterlacedWarning[] =
    "quillfen: warning: the input is interlaced (It); each frame is filtered as one picture, both fields "
    "together\n";

// A format the command takes, as the test clips are made in it.
struct ClipFormat {
  std::string tags;  // the colour format tags, as ffmpeg writes them
  int bits;
  bool half_width;   // chroma subsampled across (4:2:2 and 4:2:0)
  bool half_height;  // and down (4:2:0)
  int width = kWidth;
  int height = kHeight;

  std::string name() const { return tags.substr(0, tags.find(' ')); }
  std::size_t sample_bytes() const { return bits > 8 ? 2 : 1; }
  std::size_t luma_samples() const { return static_cast<std::size_t>(width) * height; }
  std::size_t chroma_width() const { return half_width ? (width + 1) / 2 : width; }
  std::size_t chroma_samples() const { return chroma_width() * (half_height ? (height + 1) / 2 : height); }
  std::size_t frame_bytes() const { return (luma_samples() + 2 * chroma_samples()) * sample_bytes(); }
  // Sample i of a frame's planes (Y, then U, then V), little-endian.
  int sample(const std::string& planes, std::size_t i) const {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(planes[at]); };
    return bits > 8 ? byte(2 * i) | byte(2 * i + 1) << 8 : byte(i);
  }
};

const ClipFormat kC422{"C422 XYSCSS=422", 8, true, false};
const ClipFormat kC420{"C420jpeg XYSCSS=420JPEG", 8, true, true};
const ClipFormat kC422p10{"C422p10 XYSCSS=422P10", 10, true, false};

void PrintTo(const ClipFormat& format, std::ostream* out) { *out << format.name(); }

// A clip with luma edges and chroma that crosses them, different in every
// frame. Above 8 bits the low bits vary too, and one luma sample is the
// depth's largest.
std::string make_clip(const ClipFormat& format, int frames = kFrames) {
  std::string clip = "YUV4MPEG2 W" + std::to_string(format.width) + " H" + std::to_string(format.height) +
                     " F25:1 It A1:1 " + format.tags + "\n";
  const int shift = format.bits - 8;
  const auto put = [&](int value) {
    clip += static_cast<char>(value & 0xFF);
    if (shift > 0) clip += static_cast<char>(value >> 8);
  };
  unsigned state = 12345;
  for (int n = 0; n < frames; ++n) {
    clip += "FRAME\n";
    for (int y = 0; y < format.height; ++y)
      for (int x = 0; x < format.width; ++x) {
        const int luma = (x + n) % 11 < 5 ? 50 + 3 * y : 190 - 2 * x;
        put(shift == 0       ? luma
            : x + y == 0     ? (1 << format.bits) - 1
                             : luma << shift | (5 * x + 3 * y + n) % (1 << shift));
      }
    for (std::size_t i = 0; i < 2 * format.chroma_samples(); ++i) {
      state = state * 1103515245u + 12345u;
      const int chroma = 64 + (state >> 16) % 128;
      put(shift == 0 ? chroma : chroma << shift | (state >> 8) % (1 << shift));
    }
  }
  return clip;
}

struct Y4m {
  std::string header;
  std::vector<std::string> frames;
};

Y4m parse(const std::string& bytes, const ClipFormat& format) {
  const std::size_t frame_bytes = format.frame_bytes();
  Y4m y4m;
  std::size_t at = bytes.find('\n');
  if (at == std::string::npos) return y4m;
  y4m.header = bytes.substr(0, at + 1);
  for (++at; at < bytes.size(); at += 6 + frame_bytes) {
    EXPECT_EQ(bytes.compare(at, 6, "FRAME\n"), 0) << "frame " << y4m.frames.size();
    EXPECT_LE(at + 6 + frame_bytes, bytes.size()) << "frame " << y4m.frames.size() << " is not whole";
    y4m.frames.push_back(bytes.substr(at + 6, frame_bytes));
  }
  return y4m;
}

// QUILLFEN_CPU held at a level for the commands run while it lives.
struct CpuCap {
  explicit CpuCap(const char* level) { setenv("QUILLFEN_CPU", level, 1); }
  ~CpuCap() { unsetenv("QUILLFEN_CPU"); }
};

struct Outcome {
  int status;
  std::string errors;
};

class Command : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillfen-command-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the command; standard input and output are files here when given,
  // or `output_fd` when it is not -1.
  Outcome run(const std::vector<std::string>& arguments, const std::string& input_file = "",
              const std::string& output_file = "", int output_fd = -1) {
    std::vector<std::string> all = {QUILLFEN_COMMAND_PATH, "--quiet"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const fs::path errors = dir_ / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!input_file.empty()) posix_spawn_file_actions_addopen(&actions, 0, input_file.c_str(), O_RDONLY, 0);
    if (!output_file.empty())
      posix_spawn_file_actions_addopen(&actions, 1, output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output_fd >= 0) posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the command died of a signal";
    return {WEXITSTATUS(status), read_file(errors)};
  }

  fs::path clip(const ClipFormat& format, const std::string& name = "in.y4m") {
    const fs::path path = dir_ / name;
    write_file(path, make_clip(format));
    return path;
  }

  // The output of a successful run on a file.
  std::string filtered(const fs::path& input, std::vector<std::string> options,
                       const std::vector<std::string>& filter_arguments = {}) {
    const fs::path output = dir_ / "filtered.y4m";
    options.push_back(input);
    options.push_back(output);
    options.insert(options.end(), filter_arguments.begin(), filter_arguments.end());
    const Outcome outcome = run(options);
    EXPECT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(outcome.errors, kInterlacedWarning);
    return read_file(output);
  }

  fs::path dir_;
};

// Every format the command takes: the output has the input's header, frame
// count and luma, and the chroma of the straightforward passes. 4:4:4 takes
// frames of any size.
TEST_F(Command, EveryFormatKeepsHeaderFrameCountAndLumaAndGivesTheStraightforwardFiltersChroma) {
  const ClipFormat c444{"C444", 8, false, false, 31, 15};
  std::vector<ClipFormat> formats = {kC422, kC420, {"C420", 8, true, true}, {"C420mpeg2", 8, true, true},
                                     {"C420paldv", 8, true, true}, c444};
  for (const int bits : {9, 10, 12, 14, 16})
    for (const ClipFormat& layout : {kC420, kC422, c444}) {
      ClipFormat format = layout;
      format.tags = layout.name().substr(0, 4) + "p" + std::to_string(bits);
      format.bits = bits;
      formats.push_back(format);
    }
  for (std::size_t row = 0; row < formats.size(); ++row) {
    const ClipFormat& format = formats[row];
    SCOPED_TRACE(format.name());
    // Convergence at every depth, and the Gaussian form.
    const std::vector<std::string> settings = row % 2 ? std::vector<std::string>{"radius=2", "threshold=3"}
                                                      : std::vector<std::string>{"gaussian=true", "iterations=3"};
    const Y4m input = parse(make_clip(format), format);
    const std::string output_bytes = filtered(clip(format), {}, settings);
    const Y4m output = parse(output_bytes, format);
    EXPECT_EQ(output.header, input.header);
    ASSERT_EQ(output.frames.size(), input.frames.size());
    const std::size_t luma_bytes = format.luma_samples() * format.sample_bytes();
    bool chroma_changed = false;
    for (std::size_t n = 0; n < input.frames.size(); ++n) {
      EXPECT_EQ(output.frames[n].substr(0, luma_bytes), input.frames[n].substr(0, luma_bytes)) << "luma of frame " << n;
      chroma_changed |= output.frames[n].substr(luma_bytes) != input.frames[n].substr(luma_bytes);
    }
    EXPECT_TRUE(chroma_changed) << "the filter left the chroma alone";
    // The formats a 2.5 module takes give its bytes too.
    if (format.bits == 8 && format.half_width) {
      EXPECT_EQ(filtered(clip(format), {"--plugin", QUILLFEN_PLUGIN_PATH}, settings), output_bytes)
          << "not the plugin module's bytes";
    }
    const CpuCap reference("reference");
    EXPECT_EQ(filtered(clip(format), {}, settings), output_bytes) << "not the straightforward filter's bytes";
  }
}

class CommandFormats : public Command, public ::testing::WithParamInterface<ClipFormat> {};

TEST_P(CommandFormats, WorkerCountDoesNotChangeTheOutput) {
  const fs::path input = clip(GetParam());
  const std::string one = filtered(input, {"--threads", "1"}, {"radius=2"});
  // An existing output longer than the result is replaced whole.
  write_file(dir_ / "filtered.y4m", std::string(5 << 20, 'j'));
  EXPECT_EQ(filtered(input, {"--threads", "2"}, {"radius=2"}), one);
  EXPECT_EQ(filtered(input, {"--threads=3"}, {"radius=2"}), one);

  // Pipelines of the plugin module's workers, whatever this machine's
  // processor count, must give the command's own bytes; and of the direct
  // filter's.
  const struct {
    int workers;
    bool direct;
  } rows[] = {{1, false}, {2, false}, {3, false}, {2, true}};
  quillfen::cli::CommandOptions options;
  options.plugin_path = QUILLFEN_PLUGIN_PATH;
  options.filter_arguments = {{"radius", "2"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.workers) + (row.direct ? " direct" : ""));
    const fs::path output = dir_ / "pipeline.y4m";
    const int in = open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    {
      auto reader = std::make_shared<quillfen::y4m::Y4mReader>(in);
      quillfen::y4m::Y4mWriter writer(out, reader->header());
      std::vector<std::unique_ptr<quillfen::cli::FrameWorker>> workers;
      for (int i = 0; i < row.workers; ++i)
        workers.push_back(row.direct ? std::make_unique<quillfen::cli::DirectFilter>(reader->header(),
                                                                                     options.filter_arguments)
                                     : quillfen::cli::make_frame_worker(options, reader->header(), kFrames));
      quillfen::cli::FramePipeline pipeline(reader, writer, std::move(workers), 0, kFrames - 1, false);
      writer.write_header();
      const std::atomic<bool> stop = false;
      quillfen::cli::ProgressLine progress(false, kFrames);
      EXPECT_EQ(pipeline.write_frames(stop, progress).frames_written, kFrames);
    }
    close(out);
    close(in);
    EXPECT_EQ(read_file(output), one);
  }
}

TEST_P(CommandFormats, FrameRangeGivesTheSameFramesAsTheWholeRun) {
  const ClipFormat& format = GetParam();
  const fs::path input = clip(format);
  const Y4m whole = parse(filtered(input, {}), format);
  ASSERT_EQ(whole.frames.size(), static_cast<std::size_t>(kFrames));

  const Y4m middle = parse(filtered(input, {"--frames", "2:4"}), format);
  EXPECT_EQ(middle.header, whole.header);
  EXPECT_EQ(middle.frames, std::vector<std::string>(whole.frames.begin() + 2, whole.frames.begin() + 5));

  // Open-ended and past-the-end ranges stop with the input; a pipe passes
  // over the earlier frames by reading them.
  const std::vector<std::string> tail(whole.frames.begin() + 5, whole.frames.end());
  EXPECT_EQ(parse(filtered(input, {"--frames", "5:"}), format).frames, tail);
  EXPECT_EQ(parse(filtered(input, {"--frames", "5:99"}), format).frames, tail);
  const fs::path piped = dir_ / "piped.y4m";
  ASSERT_EQ(run({"--frames", "5:6", "-", "-"}, input, piped).status, 0);
  EXPECT_EQ(parse(read_file(piped), format).frames, tail);

  // Pieces joined give the whole run's bytes.
  std::vector<std::string> join = {"--join", dir_ / "joined.y4m"};
  for (const char* range : {"0:2", "3:3", "4:"}) {
    join.push_back(dir_ / ("piece-" + std::string(range) + ".y4m"));
    ASSERT_EQ(run({"--frames", range, input, join.back(), "radius=2"}).status, 0) << range;
  }
  const Outcome joined = run(join);
  ASSERT_EQ(joined.status, 0) << joined.errors;
  EXPECT_EQ(read_file(dir_ / "joined.y4m"), filtered(input, {}, {"radius=2"}));
}

TEST_P(CommandFormats, PipeGivesTheSameOutputAsAFile) {
  const fs::path input = clip(GetParam());
  const fs::path piped = dir_ / "piped.y4m";
  const Outcome outcome = run({"--threads", "2", "-", "-", "gaussian=true"}, input, piped);
  ASSERT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(read_file(piped), filtered(input, {}, {"gaussian=true"}));
}

// The change of one chroma plane between two frames' planes.
struct PlaneFigures {
  long absolute_sum = 0, signed_sum = 0, samples = 0;
  int largest = 0;
  // Samples `at` to `at + count` of two frames' planes.
  void add(const ClipFormat& format, const std::string& before, const std::string& after, std::size_t at,
           std::size_t count) {
    for (std::size_t i = at; i < at + count; ++i) {
      const int change = format.sample(after, i) - format.sample(before, i);
      absolute_sum += std::abs(change);
      signed_sum += change;
      largest = std::max(largest, std::abs(change));
    }
    samples += static_cast<long>(count);
  }
};

std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
  return fields;
}

void expect_figures(const std::vector<std::string>& fields, const PlaneFigures& u, const PlaneFigures& v) {
  ASSERT_EQ(fields.size(), 8u);
  // Means are printed to four decimals.
  EXPECT_NEAR(std::stod(fields[1]), static_cast<double>(u.absolute_sum) / u.samples, 5.1e-5);
  EXPECT_EQ(std::stoi(fields[2]), u.largest);
  EXPECT_NEAR(std::stod(fields[3]), static_cast<double>(v.absolute_sum) / v.samples, 5.1e-5);
  EXPECT_EQ(std::stoi(fields[4]), v.largest);
  EXPECT_NEAR(std::stod(fields[5]), static_cast<double>(u.signed_sum) / u.samples, 5.1e-5);
  EXPECT_NEAR(std::stod(fields[6]), static_cast<double>(v.signed_sum) / v.samples, 5.1e-5);
}

TEST_P(CommandFormats, StatsGiveTheFiguresOfTheWrittenFramesAndPassesThatReproduceThem) {
  const ClipFormat& format = GetParam();
  const fs::path input = clip(format);
  const fs::path stats = dir_ / "stats.csv";
  const std::vector<std::string> settings = {"gaussian=true", "threshold=2"};
  const Y4m in = parse(make_clip(format), format);
  const Y4m out = parse(filtered(input, {"--threads", "2", "--frames", "1:", "--stats", stats}, settings), format);
  std::vector<std::string> lines;
  std::stringstream text(read_file(stats));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), out.frames.size() + 2);
  EXPECT_EQ(lines[0], "frame,u_mean_abs_change,u_max_abs_change,v_mean_abs_change,v_max_abs_change,u_mean_shift,"
                      "v_mean_shift,passes");

  const std::size_t luma = format.luma_samples();
  const std::size_t plane = format.chroma_samples();
  PlaneFigures all_u, all_v;
  long all_passes = 0;
  for (std::size_t i = 0; i < out.frames.size(); ++i) {
    const std::size_t n = i + 1;
    SCOPED_TRACE(lines[i + 1]);
    const std::vector<std::string> fields = csv_fields(lines[i + 1]);
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[0], std::to_string(n));
    PlaneFigures u, v;
    u.add(format, in.frames[n], out.frames[i], luma, plane);
    v.add(format, in.frames[n], out.frames[i], luma + plane, plane);
    expect_figures(fields, u, v);
    all_u.add(format, in.frames[n], out.frames[i], luma, plane);
    all_v.add(format, in.frames[n], out.frames[i], luma + plane, plane);
    // The passes counted are the passes run: that many fixed passes give the same frame.
    const int passes = std::stoi(fields[7]);
    all_passes += passes;
    ASSERT_GE(passes, 1);
    const std::string range = std::to_string(n) + ":" + std::to_string(n);
    EXPECT_EQ(parse(filtered(input, {"--frames", range}, {"gaussian=true", "iterations=" + std::to_string(passes)}),
                    format)
                  .frames,
              std::vector<std::string>{out.frames[i]});
  }
  const std::vector<std::string> summary = csv_fields(lines.back());
  ASSERT_EQ(summary.size(), 8u);
  EXPECT_EQ(summary[0], "all");
  expect_figures(summary, all_u, all_v);
  EXPECT_NEAR(std::stod(summary[7]), static_cast<double>(all_passes) / out.frames.size(), 0.0051);

  // A plugin module tells no passes: the same figures, the passes left empty.
  if (format.bits > 8) return;
  const fs::path plugin_stats = dir_ / "plugin-stats.csv";
  filtered(input, {"--frames", "1:", "--stats", plugin_stats, "--plugin", QUILLFEN_PLUGIN_PATH}, settings);
  std::string without_passes = lines[0] + '\n';
  for (std::size_t i = 1; i < lines.size(); ++i) without_passes += lines[i].substr(0, lines[i].rfind(',') + 1) + '\n';
  EXPECT_EQ(read_file(plugin_stats), without_passes);
}

// Frames of more than 8 bits are shown by the top 8 bits of each sample.
TEST_P(CommandFormats, CompareSheetPanelsDifferExactlyWhereTheFramesChromaChanged) {
  const ClipFormat& format = GetParam();
  const fs::path input = clip(format);
  const Y4m in = parse(make_clip(format), format);
  const std::string after = parse(filtered(input, {"--frames", "3:3"}, {"iterations=2"}), format).frames.at(0);
  const fs::path sheet = dir_ / "sheet.png";
  const Outcome outcome = run({"--compare", "3", input, sheet, "iterations=2"});
  ASSERT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(outcome.errors, kInterlacedWarning);

  // Three rows of three panels of the 32x16 frame enlarged 15 times, 8
  // pixels apart, each under a 20-pixel label; caption lines of 20 pixels.
  constexpr int kScale = 15, kMargin = 8, kLine = 20;
  constexpr int kPanelWidth = kWidth * kScale, kPanelHeight = kHeight * kScale;
  const PngPicture picture = read_png(sheet);
  ASSERT_EQ(picture.width, 3 * kPanelWidth + 4 * kMargin);
  const int grid = kMargin + 3 * (kLine + kPanelHeight + kMargin);
  ASSERT_GT(picture.height, grid + kMargin);
  EXPECT_EQ((picture.height - grid - kMargin) % kLine, 0);
  const auto panel = [&](int index, int x, int y) {
    return picture.at(kMargin + index % 3 * (kPanelWidth + kMargin) + x,
                      kMargin + index / 3 * (kLine + kPanelHeight + kMargin) + kLine + y);
  };

  const std::size_t luma = format.luma_samples();
  const std::size_t plane = format.chroma_samples();
  const int shift = format.bits - 8;
  int changed = 0, kept = 0, wrong = 0;
  for (int p = 0; p < 2; ++p)  // U, then V: before, after and change in row 1 + p
    for (int y = 0; y < kPanelHeight; ++y)
      for (int x = 0; x < kPanelWidth; ++x) {
        const std::size_t row = y / kScale >> format.half_height;
        const std::size_t at = luma + p * plane + row * format.chroma_width() + (x / kScale >> format.half_width);
        const bool change = format.sample(in.frames[3], at) >> shift != format.sample(after, at) >> shift;
        (change ? changed : kept) += 1;
        const bool panels_differ = std::memcmp(panel(3 + 3 * p, x, y), panel(4 + 3 * p, x, y), 3) != 0;
        const std::uint8_t* map = panel(5 + 3 * p, x, y);
        const bool map_black = map[0] == 0 && map[1] == 0 && map[2] == 0;
        wrong += panels_differ != change || map_black == change;
      }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(changed, 0);
  EXPECT_GT(kept, 0);
}

INSTANTIATE_TEST_SUITE_P(ThroughThePluginAndDirect, CommandFormats, ::testing::Values(kC422, kC420, kC422p10),
                         [](const auto& info) { return info.param.name(); });

TEST_F(Command, RefusedArgumentPrintsTheFiltersMessageExactlyAndWritesNothing) {
  const fs::path input = clip(kC422);
  const fs::path output = dir_ / "out.y4m";
  const Outcome outcome = run({input, output, "radius=0"});
  EXPECT_NE(outcome.status, 0);
  EXPECT_EQ(outcome.errors, "Quillfen: \"radius\" parameter must be greater than or equal to one.\n");
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(Command, ArgumentsTheFunctionDoesNotTakeAreOneLineErrors) {
  const fs::path input = clip(kC420);
  for (const char* argument : {"colour=3", "radius=abc", "radius=", "radius=99999999999", "=3", "radius"}) {
    const Outcome outcome = run({input, dir_ / "out.y4m", argument});
    EXPECT_NE(outcome.status, 0) << argument;
    EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1) << outcome.errors;
  }
}

TEST_F(Command, HelpAndVersionNeedNoInput) {
  const fs::path output = dir_ / "help.txt";
  for (const char* option : {"--help", "-h"}) {
    const Outcome outcome = run({option}, "", output);
    EXPECT_EQ(outcome.status, 0) << option << ": " << outcome.errors;
    const std::string help = read_file(output);
    EXPECT_TRUE(help.starts_with("Usage: quillfen")) << option;
    for (const char* argument : {"radius=N", "iterations=N", "threshold=N", "gaussian=true|false", "sup=true|false"})
      EXPECT_NE(help.find("\n  " + std::string(argument)), std::string::npos) << argument;
    EXPECT_NE(help.find("default 165, 0 to 255"), std::string::npos) << help;
    EXPECT_NE(help.find("at most 1000 passes"), std::string::npos) << help;
    EXPECT_NE(help.find("sup has no effect on 4:4:4"), std::string::npos) << help;
  }
  // The manual page names the options and filter arguments --help names, and no other.
  const auto names = [](const std::string& text, const std::regex& name) {
    std::set<std::string> found;
    for (auto at = std::sregex_iterator(text.begin(), text.end(), name); at != std::sregex_iterator(); ++at)
      found.insert((*at)[1]);
    return found;
  };
  const std::string help = read_file(output);
  const std::string manual = read_file(fs::path(QUILLFEN_SOURCE_DIR) / "cli" / "quillfen.1.in");
  EXPECT_EQ(names(manual, std::regex(R"(\\fB\\-\\-([a-z]+))")), names(help, std::regex("--([a-z]+)")));
  EXPECT_EQ(names(manual, std::regex(R"(\\fB([a-z]+)=)")), names(help, std::regex("\n  ([a-z]+)=(?:N|true)")));

  const std::string own_version = "quillfen " + std::string(kQuillfenVersion) + "\n";
  Outcome version = run({"--version"}, "", output);
  EXPECT_EQ(version.status, 0) << version.errors;
  EXPECT_EQ(read_file(output), own_version);
  version = run({"--version", "--plugin", QUILLFEN_PLUGIN_PATH}, "", output);
  EXPECT_EQ(version.status, 0) << version.errors;
  EXPECT_EQ(read_file(output), own_version + "plugin: " + kQuillfenVersionText + " (" + QUILLFEN_PLUGIN_PATH + ")\n");
}

// The command needs no file beside it: a copy alone in an empty folder
// filters the formats a 2.5 module takes with the build's bytes, and run
// there without arguments it prints its synopsis, exits 2 and writes nothing.
TEST_F(Command, CopiedAloneIntoAnEmptyFolderItFiltersAndWithoutArgumentsWritesNothing) {
  const fs::path alone = dir_ / "alone";
  fs::create_directory(alone);
  fs::copy_file(QUILLFEN_COMMAND_PATH, alone / "quillfen");
  const auto run_alone = [&](const std::string& arguments) {
    const std::string line = "cd '" + alone.string() + "' && ./quillfen " + arguments + " 2>'" +
                             (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(line.c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir_ / "stderr.txt")};
  };
  const Outcome usage = run_alone("");
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.errors.starts_with("Usage: quillfen")) << usage.errors;
  EXPECT_EQ(std::distance(fs::directory_iterator(alone), fs::directory_iterator()), 1) << "a file was written";

  for (const ClipFormat& format : {kC422, kC420}) {
    const fs::path input = clip(format);
    const Outcome outcome = run_alone("--quiet '" + input.string() + "' out.y4m radius=2");
    EXPECT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(read_file(alone / "out.y4m"), filtered(input, {"--plugin", QUILLFEN_PLUGIN_PATH}, {"radius=2"}))
        << format.name();
  }
}

// README.md's table of the filter arguments, rows "| `name=...` | default |
// meaning |": one for each parameter, with its default, and no other.
TEST_F(Command, ReadmeListsEachFilterArgumentWithItsDefault) {
  const std::regex row(R"(\| `([A-Za-z_]\w*)=[^`]*` \| ([^|]*?) \|.*)");
  std::map<std::string, std::string> defaults;
  std::istringstream readme(read_file(fs::path(QUILLFEN_SOURCE_DIR) / "README.md"));
  for (std::string line; std::getline(readme, line);) {
    std::smatch cells;
    if (!std::regex_match(line, cells, row)) continue;
    EXPECT_TRUE(defaults.emplace(cells[1], cells[2]).second) << "a second row for " << cells[1];
  }
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    const auto listed = defaults.find(parameter.name);
    if (listed == defaults.end()) {
      ADD_FAILURE() << "README.md has no row for " << parameter.name;
      continue;
    }
    EXPECT_EQ(listed->second, parameter.flag ? (parameter.default_value ? "true" : "false")
                                             : std::to_string(parameter.default_value))
        << parameter.name;
    defaults.erase(listed);
  }
  for (const auto& [name, value] : defaults) ADD_FAILURE() << "README.md lists " << name << ", which the filter does not take";
}

TEST_F(Command, OutputNamingTheInputIsRefusedAndTheInputKept) {
  const fs::path input = clip(kC422);
  const fs::path alias = dir_ / "alias.y4m";
  fs::create_hard_link(input, alias);
  const Outcome outcome = run({input, alias});
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.errors.find("same file"), std::string::npos) << outcome.errors;
  EXPECT_EQ(read_file(input), make_clip(kC422));
}

// An input cut short, and a sample above the range of the stream's depth (a
// 16-bit container holding 10-bit data, wrongly tagged): the frames before
// the bad one are written whole, and nothing of it.
TEST_F(Command, BadFrameKeepsTheWholeFramesBeforeIt) {
  const std::string whole = make_clip(kC422);
  const std::size_t frame_bytes = kC422.frame_bytes();
  const std::size_t kept = frame_bytes / 2;
  std::string out_of_range = make_clip(kC422p10);
  const std::size_t sample = out_of_range.find('\n') + 1 + 3 * (6 + kC422p10.frame_bytes()) + 6 +
                             2 * (kC422p10.luma_samples() + kC422p10.chroma_samples() + 5);
  out_of_range[sample] = static_cast<char>(1100 & 0xFF);
  out_of_range[sample + 1] = static_cast<char>(1100 >> 8);
  const struct {
    ClipFormat format;
    std::string bytes;
    std::string message;
    int whole_frames;
  } cases[] = {
      {kC422, whole.substr(0, whole.size() - (frame_bytes - kept)),
       "frame 6 is cut short (" + std::to_string(kept) + " of " + std::to_string(frame_bytes) + " bytes)", 6},
      {kC422p10, out_of_range, "frame 3, plane V: sample 1100 is above the 10-bit range (0-1023)", 3},
  };
  const fs::path input = dir_ / "bad.y4m";
  const fs::path output = dir_ / "out.y4m";
  for (const auto& c : cases) {
    write_file(input, c.bytes);
    for (const char* threads : {"1", "3"}) {
      SCOPED_TRACE(c.format.name() + " --threads " + threads);
      const Outcome outcome = run({"--threads", threads, "-", output}, input);
      EXPECT_EQ(outcome.status, 1);
      EXPECT_EQ(outcome.errors, kInterlacedWarning + std::string("quillfen: Y4M input: ") + c.message + "\n");
      const std::string written = read_file(output);
      const std::size_t header_bytes = c.bytes.find('\n') + 1;
      EXPECT_EQ(written.size(), header_bytes + c.whole_frames * (6 + c.format.frame_bytes()));
      EXPECT_EQ(parse(written, c.format).frames.size(), static_cast<std::size_t>(c.whole_frames));
    }
  }
}

TEST_F(Command, ThreadsThatCannotStartAreOneLineAndLeaveAnExistingOutputAlone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "skipped: the sanitizers' own threads could not start either";
#endif
  if (geteuid() != 0) GTEST_SKIP() << "skipped: only root can run the command as a user allowed one thread";
  const std::string input = clip(kC422), output = dir_ / "out.y4m", errors = dir_ / "stderr.txt";
  write_file(output, "an older output");
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(output, fs::perms::all);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As nobody, allowed one thread beside the command's own: the reading
    // thread starts, the worker does not.
    const rlimit one_more = {2, 2};
    const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0 || setrlimit(RLIMIT_NPROC, &one_more) != 0 || setgroups(0, nullptr) != 0 ||
        setgid(65534) != 0 || setuid(65534) != 0)
      _exit(126);
    execl(QUILLFEN_COMMAND_PATH, QUILLFEN_COMMAND_PATH, "--quiet", input.c_str(), output.c_str(), nullptr);
    _exit(126);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the command died of a signal";
  if (WEXITSTATUS(status) == 126) GTEST_SKIP() << "skipped: the command cannot be run as nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string lines = read_file(errors);
  EXPECT_TRUE(lines.starts_with(kInterlacedWarning + std::string("quillfen: cannot start the threads"))) << lines;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
  EXPECT_EQ(read_file(output), "an older output");
}

TEST_F(Command, ReaderClosingThePipeEndsTheCommandQuietly) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  const Outcome outcome = run({clip(kC422), "-"}, "", "", ends[1]);
  close(ends[1]);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.errors, kInterlacedWarning);
}

TEST_F(Command, UnsupportedInputIsRefusedBeforeAnyOutput) {
  const fs::path input = dir_ / "411.y4m";
  write_file(input, "YUV4MPEG2 W32 H16 F25:1 C411 XYSCSS=411\nFRAME\n" + std::string(32 * 16 * 3 / 2, 'x'));
  const fs::path output = dir_ / "out.y4m";
  const Outcome outcome = run({input, output});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.errors.find("\"C411\" is not supported"), std::string::npos) << outcome.errors;
  EXPECT_NE(outcome.errors.find("ffmpeg -pix_fmt yuv422p\n"), std::string::npos) << outcome.errors;
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(Command, ProbeGivesFramesAndFormatOnOneLineAndFiltersNothing) {
  const fs::path input = clip(kC422);
  const std::string format = "width=32 height=16 fps=25:1 chroma=422 interlace=t aspect=1:1\n";
  const fs::path line = dir_ / "probe.txt";
  ASSERT_EQ(run({"--probe", input}, "", line).status, 0);
  EXPECT_EQ(read_file(line), "frames=7 " + format);
  ASSERT_EQ(run({"--probe", "-"}, input, line).status, 0);  // a file as standard input is still a file
  EXPECT_EQ(read_file(line), "frames=7 " + format);
  // Two-byte samples count as such.
  ASSERT_EQ(run({"--probe", clip(kC422p10, "deep.y4m")}, "", line).status, 0);
  EXPECT_EQ(read_file(line), "frames=7 width=32 height=16 fps=25:1 chroma=422p10 interlace=t aspect=1:1\n");

  // From a pipe the count is not known: the header is all that is read.
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { write_file(fifo, make_clip(kC422, 1)); });
  const Outcome piped = run({"--probe", "-"}, fifo, line);
  writer.join();
  ASSERT_EQ(piped.status, 0) << piped.errors;
  EXPECT_EQ(read_file(line), "frames=unknown " + format);

  // A size the filter refuses is still described: a 4:2:0 chroma plane of
  // an odd size covers the last column and row.
  const fs::path odd = dir_ / "odd.y4m";
  const std::string odd_frame = "FRAME\n" + std::string(5 * 3 + 2 * (3 * 2), 'x');
  write_file(odd, "YUV4MPEG2 W5 H3 F25:1 C420\n" + odd_frame + odd_frame);
  ASSERT_EQ(run({"--probe", odd}, "", line).status, 0);
  EXPECT_EQ(read_file(line), "frames=2 width=5 height=3 fps=25:1 chroma=420 interlace=? aspect=0:0\n");

  const fs::path cut = dir_ / "cut.y4m";
  write_file(cut, make_clip(kC422).substr(0, make_clip(kC422).size() - 1));
  const Outcome refused = run({"--probe", cut}, "", line);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.errors, "quillfen: INPUT \"" + cut.string() +
                                "\" has 6 whole frames, then a frame cut short or bytes that are not a frame\n");
}

TEST_F(Command, JoinRefusesMismatchedOrCutShortPiecesNamingThemAndWritesNothing) {
  const std::string good = make_clip(kC422, 2);
  const std::size_t header_end = good.find('\n');
  const auto with_header = [&](const std::string& from, const std::string& to) {
    std::string header = good.substr(0, header_end);
    header.replace(header.find(from), from.size(), to);
    return header + good.substr(header_end);
  };
  struct Case {
    const char* name;
    std::string piece;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"size", with_header("W32", "W34"), "\"W34\" instead of \"W32\""},
      {"rate", with_header("F25:1", "F30000:1001"), "\"F30000:1001\" instead of \"F25:1\""},
      {"chroma", with_header("C422", "C420jpeg"), "\"C420jpeg\" instead of \"C422\""},
      {"interlacing", with_header("It ", "Ib "), "\"Ib\" instead of \"It\""},
      {"no interlacing tag", with_header("It ", ""), "no I tag instead of \"It\""},
      {"aspect", with_header("A1:1", "A4:3"), "\"A4:3\" instead of \"A1:1\""},
      {"X tag", with_header("XYSCSS=422", "XYSCSS=422 XCOLORRANGE=FULL"),
       "\"XYSCSS=422 XCOLORRANGE=FULL\" instead of \"XYSCSS=422\""},
      {"cut short", good.substr(0, good.size() - 10), "frame 1 is cut short"},
      {"not Y4M", "RIFF....WAVEfmt ", "not a YUV4MPEG2 (Y4M) stream"},
  };
  const fs::path first = dir_ / "first.y4m";
  write_file(first, good);
  const fs::path output = dir_ / "joined.y4m";
  const auto expect_refused = [&](const std::vector<std::string>& pieces, const std::string& named,
                                  const std::string& reason) {
    std::vector<std::string> arguments = {"--join", output};
    arguments.insert(arguments.end(), pieces.begin(), pieces.end());
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.errors.starts_with("quillfen: PART \"" + named + "\": ")) << outcome.errors;
    EXPECT_NE(outcome.errors.find(reason), std::string::npos) << outcome.errors;
    EXPECT_TRUE(outcome.errors.ends_with("; OUTPUT was not written\n")) << outcome.errors;
    // Nor is a file of its pieces left beside it.
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_FALSE(entry.path().filename().string().starts_with("joined")) << entry.path();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path piece = dir_ / "piece.y4m";
    write_file(piece, c.piece);
    expect_refused({first, first, piece}, piece, c.reason);
    fs::remove(piece);
  }
  expect_refused({first, dir_ / "missing.y4m"}, dir_ / "missing.y4m", "cannot open it");
  write_file(output, good);
  const Outcome onto_a_piece = run({"--join", output, first, output});
  EXPECT_NE(onto_a_piece.errors.find("it is OUTPUT itself"), std::string::npos) << onto_a_piece.errors;
  EXPECT_EQ(read_file(output), good);
}

}  // namespace

}  // namespace quillfen
