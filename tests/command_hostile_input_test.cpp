// The quillfen command fed what users and scripts hand it by mistake or by
// malice: broken and hostile Y4M streams, bad arguments, outputs that cannot
// be written or that are the input, readers that go away, Ctrl-C, closed
// standard streams and long clips. Each case ends with one clear line and its
// exit status, an output of whole frames only (or none) and the input
// untouched. Every child process is killed, and the test failed, if it runs
// past a deadline: a hang fails instead of stalling the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "filter/quillfen_parameters.h"
#include "tests/support/files.h"

extern char** environ;

namespace quillfen {

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
constexpr std::size_t kLumaBytes = kWidth * kHeight;
constexpr std::size_t kPlaneBytes = kLumaBytes * 2;  // 4:2:2
constexpr std::string_view kHeader = "YUV4MPEG2 W32 H16 F25:1 Ip C422\n";
constexpr std::string_view kFrameLine = "FRAME\n";
constexpr std::size_t kRecordBytes = kFrameLine.size() + kPlaneBytes;
// Far beyond what any run here needs, even under the sanitizers.
constexpr auto kDeadline = std::chrono::seconds(20);

// Frame n's planes: luma edges, seeded chroma; no byte is a newline, so that
// planes never pass for a header line.
std::string planes(int n) {
  std::string bytes;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) bytes += static_cast<char>((x + n) % 11 < 5 ? 50 + 3 * y : 190 - 2 * x);
  std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(n + 1);
  while (bytes.size() < kPlaneBytes) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(64 + (state >> 16) % 128);
  }
  return bytes;
}

std::string frames(int first, int count) {
  std::string bytes;
  for (int n = first; n < first + count; ++n) bytes += std::string(kFrameLine) + planes(n);
  return bytes;
}

std::string clip(int count) { return std::string(kHeader) + frames(0, count); }

std::string random_bytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Checks that `output` is the test header followed by exactly `count` whole
// frame records, each with the luma of the input frame it came from (the
// filter never changes luma).
void expect_whole_frames(const std::string& output, int count) {
  ASSERT_EQ(output.substr(0, kHeader.size()), kHeader);
  ASSERT_EQ((output.size() - kHeader.size()) % kRecordBytes, 0u)
      << "the output ends inside a frame (" << output.size() << " bytes)";
  ASSERT_EQ(static_cast<int>((output.size() - kHeader.size()) / kRecordBytes), count);
  for (int n = 0; n < count; ++n) {
    const std::size_t at = kHeader.size() + n * kRecordBytes;
    EXPECT_EQ(output.substr(at, kFrameLine.size()), kFrameLine) << "frame " << n;
    EXPECT_EQ(output.substr(at + kFrameLine.size(), kLumaBytes), planes(n).substr(0, kLumaBytes))
        << "frame " << n;
  }
}

// The one line a failing command printed, checked to be one line.
void expect_one_line(const std::string& errors, const std::string& part) {
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  EXPECT_TRUE(errors.ends_with('\n')) << errors;
  EXPECT_NE(errors.find(part), std::string::npos) << "\"" << part << "\" not in: " << errors;
}

struct Ending {
  bool exited = false;
  int status = -1;  // when exited
  int signal = 0;   // the signal that ended it otherwise
  std::string errors;
  // The most memory the child held, as the system counts it for a child:
  // it includes the test's own pages, copied at the fork, so it bounds the
  // command's peak from above.
  long peak_rss_kb_at_most = 0;
};

// Where the child's standard streams go. kPipe ends are the test's to use.
enum class Stream { kNull, kPipe, kClosed, kFile };

struct ChildSetup {
  Stream in = Stream::kNull;
  fs::path in_path{};
  Stream out = Stream::kNull;
  fs::path out_path{};
  int out_flags = O_WRONLY | O_CREAT | O_TRUNC;
  rlim_t file_size_limit = RLIM_INFINITY;
  bool memory_measured = false;
};

// One run of the command, `--quiet` and the arguments given, with its
// stderr in a file and its stdin and stdout as set up.
class Child {
 public:
  Child(const fs::path& dir, const std::vector<std::string>& arguments, const ChildSetup& setup = {})
      : errors_path_(dir / "stderr.txt"), deadline_(std::chrono::steady_clock::now() + kDeadline) {
    // A child that stops reading must show as EPIPE here, not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> all = {QUILLFEN_COMMAND_PATH, "--quiet"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // ASan holds freed memory and old stack frames back to catch late uses;
    // both fill up over a run and would pass for growth where memory use is
    // measured, so they are turned off there.
    std::vector<std::string> environment;
    constexpr std::string_view kAsanOptions = "ASAN_OPTIONS=";
    constexpr std::string_view kFlatAsan =
        "quarantine_size_mb=0:thread_local_quarantine_size_kb=0:detect_stack_use_after_return=0";
    bool asan_options = false;
    for (char** entry = environ; *entry; ++entry) {
      environment.emplace_back(*entry);
      if (setup.memory_measured && environment.back().starts_with(kAsanOptions)) {
        environment.back() += ":" + std::string(kFlatAsan);
        asan_options = true;
      }
    }
    if (setup.memory_measured && !asan_options)
      environment.push_back(std::string(kAsanOptions) + std::string(kFlatAsan));
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const int child_in = open_end(setup.in, setup.in_path, O_RDONLY, in_, true);
    const int child_out = open_end(setup.out, setup.out_path, setup.out_flags, out_, false);
    const int child_err = ::open(errors_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls from here to exec.
      if (setup.in == Stream::kClosed)
        ::close(STDIN_FILENO);
      else
        ::dup2(child_in, STDIN_FILENO);
      if (setup.out == Stream::kClosed)
        ::close(STDOUT_FILENO);
      else
        ::dup2(child_out, STDOUT_FILENO);
      ::dup2(child_err, STDERR_FILENO);
      if (setup.file_size_limit != RLIM_INFINITY) {
        struct rlimit limit = {setup.file_size_limit, setup.file_size_limit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      struct sigaction default_action {};
      default_action.sa_handler = SIG_DFL;
      for (int number : {SIGINT, SIGTERM, SIGPIPE, SIGXFSZ}) ::sigaction(number, &default_action, nullptr);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    for (int fd : {child_in, child_out, child_err})
      if (fd >= 0) ::close(fd);
    EXPECT_GT(pid_, 0) << "fork failed";
  }

  ~Child() {
    close_input();
    close_output();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Writes to the child's stdin, collecting its output meanwhile; stops
  // early when the child no longer reads (it closed or ended).
  void feed(std::string_view bytes) {
    while (!bytes.empty() && in_ >= 0) {
      pollfd fds[2] = {{in_, POLLOUT, 0}, {out_, POLLIN, 0}};
      if (!wait_for(fds, out_ >= 0 ? 2 : 1)) return;
      if (out_ >= 0 && fds[1].revents) read_output();
      if (!fds[0].revents) continue;
      const ssize_t n = ::write(in_, bytes.data(), bytes.size());
      if (n > 0)
        bytes.remove_prefix(static_cast<std::size_t>(n));
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        close_input();
    }
  }

  // Collects output until it holds at least `size` bytes or ends.
  void collect_output(std::size_t size) {
    while (output_.size() < size && out_ >= 0) {
      pollfd fds[1] = {{out_, POLLIN, 0}};
      if (!wait_for(fds, 1)) return;
      read_output();
    }
  }

  void close_input() { close_fd(in_); }
  void close_output() { close_fd(out_); }
  void send(int signal_number) { ::kill(pid_, signal_number); }
  const std::string& output() const { return output_; }

  // The command's own peak memory since it started, while it still runs.
  long peak_rss_kb() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("VmHWM:")) return std::stol(line.substr(line.find(':') + 1));
    ADD_FAILURE() << "no peak memory in /proc for the command";
    return -1;
  }

  // The processor time the command has used so far, while it still runs.
  double cpu_seconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which ends with the last ')':
    // state is the first, user and system time the 12th and 13th.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i)
      if (i >= 12) ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }

  // Collects the output to its end and waits for the child, closing its
  // input first unless it must stay open to the end.
  Ending finish(bool keep_input_open = false) {
    if (!keep_input_open) close_input();
    collect_output(std::string::npos);
    Ending ending;
    int status = 0;
    struct rusage usage {};
    for (;;) {
      const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
      if (done == pid_) break;
      if (done < 0 || !time_left()) {
        ADD_FAILURE() << "the command did not end";
        return ending;
      }
      ::poll(nullptr, 0, 5);
    }
    pid_ = -1;
    close_input();
    ending.exited = WIFEXITED(status);
    ending.status = ending.exited ? WEXITSTATUS(status) : -1;
    ending.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    ending.errors = read_file(errors_path_);
    ending.peak_rss_kb_at_most = usage.ru_maxrss;
    return ending;
  }

 private:
  // The child's end of one standard stream; the test's end of a pipe goes to `ours`.
  static int open_end(Stream kind, const fs::path& path, int flags, int& ours, bool child_reads) {
    switch (kind) {
      case Stream::kNull:
        return ::open("/dev/null", (child_reads ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
      case Stream::kFile:
        return ::open(path.c_str(), flags | O_CLOEXEC, 0644);
      case Stream::kClosed:
        return -1;
      case Stream::kPipe: {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
        ours = child_reads ? ends[1] : ends[0];
        ::fcntl(ours, F_SETFL, O_NONBLOCK);
        return child_reads ? ends[0] : ends[1];
      }
    }
    return -1;
  }

  static void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  bool time_left() {
    if (std::chrono::steady_clock::now() < deadline_) return true;
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    return false;
  }

  bool wait_for(pollfd* fds, int count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(fds, count, static_cast<int>(left.count())) == 0) {
      time_left();
      ADD_FAILURE() << "the command neither read nor wrote before the deadline";
      close_input();
      close_output();
      return false;
    }
    return true;
  }

  void read_output() {
    char chunk[65536];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n > 0)
      output_.append(chunk, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
      close_output();
  }

  fs::path errors_path_;
  std::chrono::steady_clock::time_point deadline_;
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string output_;
};

class CommandHostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillfen-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    input_ = dir_ / "in.y4m";
    output_ = dir_ / "out.y4m";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A run on files, its stdin and stdout unused.
  Ending run(const std::vector<std::string>& arguments) { return Child(dir_, arguments).finish(); }

  fs::path dir_;
  fs::path input_;
  fs::path output_;
};

// ---- Broken streams, from a file and from a pipe ----

// What a broken stream leaves as output besides a count of whole frames.
constexpr int kNoOutput = -1;
constexpr int kItsHeaderOnly = -2;  // its own header line, which is not the test clip's

struct BrokenStream {
  const char* name;
  std::string bytes;
  const char* message;  // a part of the one line expected
  int whole_frames;     // written before the failure, or kNoOutput or kItsHeaderOnly
};

void PrintTo(const BrokenStream& stream, std::ostream* out) { *out << stream.name; }

std::vector<BrokenStream> broken_streams() {
  const std::string header(kHeader);
  const auto headed = [](const std::string& tags) { return "YUV4MPEG2 " + tags + "\n" + frames(0, 1); };
  return {
      {"Empty", "", "the input is empty", kNoOutput},
      {"WrongMagic", "RIFF\x24\x08\x00\x00WAVEfmt " + frames(0, 1),
       "not a YUV4MPEG2 (Y4M) stream: it starts with \"RIFF$?FRAM\"; for another video, pipe it through ffmpeg: "
       "ffmpeg -i IN -pix_fmt yuv422p -f yuv4mpegpipe - | quillfen - OUT",
       kNoOutput},
      {"RandomBytes", random_bytes(65536, 7), "not a YUV4MPEG2 (Y4M) stream", kNoOutput},
      {"SignatureThenRandomBytes", "YUV4MPEG2 " + random_bytes(65536, 11), "quillfen: Y4M ", kNoOutput},
      {"MissingWidth", headed("H16 F25:1 C422"), "frame width (W) or height (H) is missing", kNoOutput},
      {"MissingHeight", headed("W32 F25:1 C422"), "frame width (W) or height (H) is missing", kNoOutput},
      {"ZeroWidth", headed("W0 H16 F25:1 C422"), "bad frame width \"W0\"", kNoOutput},
      {"ZeroHeight", headed("W32 H0 F25:1 C422"), "bad frame height \"H0\"", kNoOutput},
      {"NegativeWidth", headed("W-32 H16 F25:1 C422"), "bad frame width \"W-32\"", kNoOutput},
      {"WidthBeyondInt", headed("W99999999999 H16 F25:1 C422"), "bad frame width \"W99999999999\"",
       kNoOutput},
      {"AbsurdWidth", headed("W2000000000 H16 F25:1 C422"), "frame size 2000000000x16 is too large",
       kNoOutput},
      // Each side fits an int, the frame's bytes do not.
      {"FrameBytesBeyondInt420", headed("W46342 H46342 F25:1 C420"), "frame size 46342x46342 is too large",
       kNoOutput},
      {"FrameBytesBeyondInt422", headed("W65536 H16384 F25:1 C422"), "frame size 65536x16384 is too large",
       kNoOutput},
      {"Mono", headed("W32 H16 F25:1 Cmono"), "colour format \"Cmono\" is not supported", kNoOutput},
      {"FourOneOne", headed("W32 H16 F25:1 C411"), "colour format \"C411\" is not supported", kNoOutput},
      {"Alpha", headed("W32 H16 F25:1 C444alpha"), "colour format \"C444alpha\" is not supported", kNoOutput},
      {"OddWidth422", headed("W33 H16 F25:1 C422"), "frame width 33 is odd (4:2:2 and 4:2:0 need an even "
       "width); make it even where the stream is made, e.g. ffmpeg -vf crop=iw-1:ih", kNoOutput},
      {"OddHeight420", headed("W32 H15 F25:1 C420"), "e.g. ffmpeg -vf crop=iw:ih-1", kNoOutput},
      {"HeaderWithoutNewline", "YUV4MPEG2 W32 H16 F25:1 C422", "the input ends inside the stream header",
       kNoOutput},
      {"HeaderMegabytesLong",
       "YUV4MPEG2 W32 H16 F25:1 C422 X" + std::string(3 << 20, 'x') + "\n" + frames(0, 2),
       "stream header is longer than 64 KiB", kNoOutput},
      {"BadFrameHeader", header + frames(0, 2) + "FRAMEX\n" + planes(2),
       "frame 2 does not start with a FRAME header", 2},
      {"MissingFrameHeader", header + frames(0, 1) + planes(1) + frames(2, 1),
       "frame 1 does not start with a FRAME header", 1},
      {"FrameHeaderWithoutNewline", header + frames(0, 2) + "FRAME", "the input ends inside the frame header",
       2},
      {"FrameHeaderMegabytesLong",
       header + frames(0, 1) + "FRAME X" + std::string(2 << 20, 'x') + "\n" + planes(1),
       "frame header is longer than 64 KiB", 1},
      {"TruncatedLastFrame", header + frames(0, 3) + frames(3, 1).substr(0, kFrameLine.size() + 100),
       "frame 3 is cut short (100 of 1024 bytes)", 3},
      {"RandomBytesAfterFrames", header + frames(0, 2) + random_bytes(65536, 5),
       "frame 2 does not start with a FRAME header", 2},
      // A header may claim frames of over a gigabyte that fit the interface;
      // only the bytes that really arrive may cost memory.
      {"HugeFramesThatNeverArrive", "YUV4MPEG2 W30000 H30000 F25:1 C420\nFRAME\n",
       "frame 0 is cut short (0 of 1350000000 bytes)", kItsHeaderOnly},
  };
}

class CommandBrokenStream : public CommandHostileInput,
                            public ::testing::WithParamInterface<std::tuple<BrokenStream, bool>> {};

TEST_P(CommandBrokenStream, OneLineAndStatusOneWithWholeFramesOnlyAndTheInputKept) {
  const auto& [stream, piped] = GetParam();
  // Two workers: several frames in flight, and one buffer per slot.
  Ending ending;
  if (piped) {
    Child child(dir_, {"--threads", "2", "-", output_}, {.in = Stream::kPipe});
    child.feed(stream.bytes);
    ending = child.finish();
  } else {
    write_file(input_, stream.bytes);
    ending = run({"--threads", "2", input_, output_});
    EXPECT_EQ(read_file(input_), stream.bytes) << "the input was changed";
  }
  EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
  EXPECT_EQ(ending.status, 1);
  expect_one_line(ending.errors, stream.message);
  EXPECT_TRUE(ending.errors.starts_with("quillfen: ")) << ending.errors;
  if (stream.whole_frames == kNoOutput)
    EXPECT_FALSE(fs::exists(output_)) << "an output was left for an input refused at its header";
  else if (stream.whole_frames == kItsHeaderOnly)
    EXPECT_EQ(read_file(output_), stream.bytes.substr(0, stream.bytes.find('\n') + 1));
  else
    expect_whole_frames(read_file(output_), stream.whole_frames);
  // Far below the 1.35 GB that a header here claims for one frame, with room
  // for the sanitizers' own memory.
  EXPECT_LT(ending.peak_rss_kb_at_most, 512 * 1024) << "memory the input's bytes do not justify";
}

INSTANTIATE_TEST_SUITE_P(FileAndPipe, CommandBrokenStream,
                         ::testing::Combine(::testing::ValuesIn(broken_streams()), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_Pipe" : "_File");
                         });

// ---- Arguments ----

TEST_F(CommandHostileInput, CommandLineMistakesAreUsageErrorsWithoutOutput) {
  write_file(input_, clip(2));
  const std::string in = input_, out = output_;
  const std::vector<std::vector<std::string>> mistakes = {
      {in},
      {in, "radius=2"},
      {"--threads", "0", in, out},
      {"--threads", "-1", in, out},
      {"--threads", "abc", in, out},
      {"--threads", "2x", in, out},
      {"--threads=", in, out},
      {"--threads", "99999999999", in, out},
      {"--threads", "257", in, out},
      {in, out, "--threads"},
      {"--frames", "3:1", in, out},
      {"--frames", "a:b", in, out},
      {"--frames", "", in, out},
      {"--frames", "-1:2", in, out},
      {"--frames", ":4", in, out},
      {"--frames", "1-3", in, out},
      {"--frames", "1:99999999999", in, out},
      {"--frames", "99999999999:", in, out},
      {"--bogus", in, out},
      {"-x", in, out},
      {in, "-q", out},
      {"--quiet=yes", in, out},
      {"--plugin=", in, out},
      {"--stats", "", in, out},
      {"--crop", "0,0,4,4", in, out},
      {"--compare", "x", in, out},
      {"--compare", "0", "--frames", "0:1", in, out},
      {"--compare", "0", in, "-"},
      {"--compare", "0", "--crop", "0,0,0,4", in, out},
      {"--compare", "0", "--crop", "0,0,4,4,4", in, out},
      {"--compare", "0", "--crop", "30,0,4,4", in, out},
      {"--probe", in, out},
      {"--join", out},
      {"--join", "-", in},
  };
  for (const auto& arguments : mistakes) {
    std::string shown;
    for (const std::string& argument : arguments) shown += " [" + argument + "]";
    SCOPED_TRACE(shown);
    const Ending ending = run(arguments);
    EXPECT_EQ(ending.status, 2);
    expect_one_line(ending.errors, "(see quillfen --help)");
    if (arguments.front() == "-x") {
      EXPECT_NE(ending.errors.find("unknown option \"-x\""), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(output_));
  }
  EXPECT_EQ(read_file(input_), clip(2));
}

TEST_F(CommandHostileInput, FilterArgumentMistakesAreUsageErrorsNamingTheArgumentWithoutOutput) {
  write_file(input_, clip(2));
  const std::string too_wide = "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  struct Mistake {
    std::vector<std::string> arguments;
    std::string message;
    // --plugin's, where it is not the same: the embedded server, a host of
    // the 2.5 interface, holds script integers in 32 bits and refuses what
    // does not fit before the module sees it.
    std::string through_plugin;
  };
  std::vector<Mistake> mistakes = {
      {{"radius=2", "radius=3"}, "\"radius\" is given twice"},
      {{"gaussian=maybe"}, "\"gaussian\" must be true or false"},
      {{"iterations=1.5"}, "\"iterations\" must be an int"},
      {{"threshold="}, "\"threshold\" has an empty value"},
      {{"radius=0x10"}, "\"radius\" must be an int, not \"0x10\""},
      {{"sup=1"}, "\"sup\" must be true or false"},
      {{"radiuss=2"}, "no argument named \"radiuss\""},
      {{"radius=16"}, too_wide},
      // 64-bit values that wrapped into 32 bits would be radius=1 and
      // iterations=2, refused by their ranges as the modules refuse them.
      {{"radius=4294967297"}, too_wide, "\"radius\" is out of range for an int"},
      {{"iterations=4294967298"}, "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive.",
       "\"iterations\" is out of range for an int"},
      {{"radius=-99999999999"}, "Quillfen: \"radius\" parameter must be greater than or equal to one.",
       "\"radius\" is out of range for an int"},
      {{"threshold=99999999999999999999"}, "\"threshold\" is out of range for a 64-bit int",
       "\"threshold\" is out of range for an int"},
  };
  // Every int one past either end of its range in the parameter table.
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    for (const long long beyond : {parameter.minimum - 1LL, parameter.maximum + 1LL})
      if (!parameter.flag && beyond >= INT_MIN && beyond <= INT_MAX)
        mistakes.push_back({{std::string(parameter.name) + "=" + std::to_string(beyond)}, parameter.refusal});
  for (const auto& [arguments, message, through_plugin_message] : mistakes) {
    SCOPED_TRACE(arguments.front());
    std::vector<std::string> all = {input_, output_};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const Ending ending = run(all);
    EXPECT_EQ(ending.status, 2);
    expect_one_line(ending.errors, message);
    EXPECT_FALSE(fs::exists(output_));
    // The plugin module's function refuses the rest in the same words.
    all.insert(all.begin(), {"--plugin", QUILLFEN_PLUGIN_PATH});
    const Ending through_plugin = run(all);
    EXPECT_EQ(through_plugin.status, 2);
    if (through_plugin_message.empty())
      EXPECT_EQ(through_plugin.errors, ending.errors);
    else
      expect_one_line(through_plugin.errors, through_plugin_message);
    EXPECT_FALSE(fs::exists(output_));
  }
  // A module that is missing, or is no plugin, is one line and no output.
  for (const std::string& module : {(dir_ / "missing.so").string(), std::string(QUILLFEN_COMMAND_PATH)}) {
    const Ending ending = run({"--plugin", module, input_, output_});
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, "quillfen: --plugin: ");
    EXPECT_FALSE(fs::exists(output_));
  }
}

TEST_F(CommandHostileInput, RangePastTheEndLeavesNoOutputFromAFileOrAPipe) {
  write_file(input_, clip(5));
  for (const char* range : {"10:20", "5:"})
    for (const bool piped : {false, true}) {
      SCOPED_TRACE(std::string(range) + (piped ? " pipe" : " file"));
      Ending ending;
      if (piped) {
        Child child(dir_, {"--frames", range, "-", output_}, {.in = Stream::kPipe});
        child.feed(clip(5));
        ending = child.finish();
      } else {
        ending = run({"--frames", range, input_, output_});
      }
      EXPECT_EQ(ending.status, 1);
      expect_one_line(ending.errors, "but the input has only 5 frames");
      EXPECT_FALSE(fs::exists(output_));
    }
}

TEST_F(CommandHostileInput, ControlCharactersInPathsAndArgumentsKeepTheMessageOnOneLine) {
  write_file(input_, clip(2));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{(dir_ / "no\nsuch.y4m").string(), output_}, "cannot open INPUT"},
      {{input_, (dir_ / "missing\n/out.y4m").string()}, "cannot write OUTPUT"},
      {{input_, output_, "col\nour=3"}, "no argument named \"col?our\""},
      {{input_, output_, "radius=1\r\n2"}, "not \"1??2\""},
      {{"--threads", "1\n2", input_, output_}, "--threads needs a whole number"},
      {{input_, output_, "\x1b[2J=1"}, "no argument named"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(message);
    const Ending ending = run(arguments);
    EXPECT_NE(ending.status, 0);
    expect_one_line(ending.errors, message);
    EXPECT_EQ(ending.errors.find('\x1b'), std::string::npos);
  }
}

// ---- Outputs ----

TEST_F(CommandHostileInput, OutputThatCannotBeWrittenIsNamedAndTheInputKept) {
  write_file(input_, clip(2));
  const struct {
    fs::path output;
    std::string message;
  } cases[] = {
      {dir_ / "missing" / "out.y4m",
       "cannot write OUTPUT \"" + (dir_ / "missing" / "out.y4m").string() + "\": No such file or directory"},
      {dir_, "cannot write OUTPUT \"" + dir_.string() + "\": Is a directory"},
      {"/dev/full", "cannot write the output: No space left on device"},
  };
  for (const auto& [output, message] : cases) {
    const Ending ending = run({input_, output});
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, message);
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(read_file(input_), clip(2));
}

TEST_F(CommandHostileInput, OutputRefusedPartWayEndsAtTheLastWholeFrame) {
  // The file size limit stops the third frame part way, as a full disk would.
  write_file(input_, clip(6));
  ChildSetup setup;
  setup.file_size_limit = kHeader.size() + 2 * kRecordBytes + kRecordBytes / 2;
  const Ending ending = Child(dir_, {"--threads", "2", input_, output_}, setup).finish();
  EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
  EXPECT_EQ(ending.status, 1);
  expect_one_line(ending.errors, "cannot write the output: File too large");
  expect_whole_frames(read_file(output_), 2);
}

TEST_F(CommandHostileInput, OutputThatIsTheInputUnderAnotherNameIsRefusedBeforeWriting) {
  const std::string bytes = clip(3);
  write_file(input_, bytes);
  fs::create_directory(dir_ / "sub");
  fs::create_symlink(input_, dir_ / "link.y4m");
  const std::string refusal = "is the same file as INPUT; nothing was written";
  for (const fs::path& alias : {dir_ / "link.y4m", dir_ / "sub" / ".." / "in.y4m"}) {
    for (const auto& arguments : {std::vector<std::string>{input_, alias},
                                  std::vector<std::string>{"--compare", "1", input_, alias},
                                  std::vector<std::string>{"--stats", alias, input_, output_}}) {
      const Ending ending = run(arguments);
      EXPECT_EQ(ending.status, 1);
      expect_one_line(ending.errors, refusal);
    }
  }
  const Ending stats_onto_output = run({"--stats", output_, input_, (dir_ / "sub" / ".." / "out.y4m").string()});
  EXPECT_EQ(stats_onto_output.status, 1);
  expect_one_line(stats_onto_output.errors, "is the same file as OUTPUT; nothing was written");
  EXPECT_FALSE(fs::exists(output_));
  // Standard output opened on the input, without truncating it, and read
  // either as INPUT or as standard input.
  ChildSetup onto_input = {.in = Stream::kFile,
                           .in_path = input_,
                           .out = Stream::kFile,
                           .out_path = input_,
                           .out_flags = O_WRONLY | O_APPEND};
  for (const std::string& source : {input_.string(), std::string("-")}) {
    const Ending ending = Child(dir_, {source, "-"}, onto_input).finish();
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, "OUTPUT \"-\" " + refusal);
  }
  EXPECT_EQ(read_file(input_), bytes);
}

// ---- Readers that go away, Ctrl-C, standard streams ----

TEST_F(CommandHostileInput, ReaderClosingThePipeMidRunEndsTheCommandQuietly) {
  // More frames than a pipe holds: the command is still writing when the reader goes.
  constexpr int kFrames = 300;
  write_file(input_, clip(kFrames));
  const std::size_t two_frames = kHeader.size() + 2 * kRecordBytes;
  {
    Child child(dir_, {"--threads", "2", input_, "-"}, {.out = Stream::kPipe});
    child.collect_output(two_frames);
    child.close_output();
    const Ending ending = child.finish();
    EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.errors, "");
  }
  {
    // Its own input still open and not at its end.
    Child child(dir_, {"--threads", "2", "-", "-"}, {.in = Stream::kPipe, .out = Stream::kPipe});
    const std::string bytes = clip(kFrames);
    const std::size_t three_frames = kHeader.size() + 3 * kRecordBytes;
    child.feed(std::string_view(bytes).substr(0, three_frames));
    child.collect_output(two_frames);
    child.close_output();
    child.feed(std::string_view(bytes).substr(three_frames));
    const Ending ending = child.finish(true);
    EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.errors, "");
  }
  EXPECT_EQ(read_file(input_), clip(kFrames));
}

TEST_F(CommandHostileInput, CtrlCOrTermStopsAfterWholeFramesWhileTheInputStaysOpen) {
  // The command has filtered all four frames it was given and waits for the
  // fifth when the signal comes.
  constexpr int kGiven = 4;
  for (int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal_number));
    Child child(dir_, {"--threads", "2", "-", "-"}, {.in = Stream::kPipe, .out = Stream::kPipe});
    child.feed(clip(kGiven));
    child.collect_output(kHeader.size() + kGiven * kRecordBytes);
    child.send(signal_number);
    const Ending ending = child.finish(true);
    EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
    EXPECT_EQ(ending.status, 130);
    EXPECT_EQ(ending.errors, "quillfen: interrupted; 4 whole frames written\n");
    expect_whole_frames(child.output(), kGiven);
  }
}

TEST_F(CommandHostileInput, CtrlCOrTermInsideALongFrameStopsWithoutWaitingForIt) {
  // As many passes as a frame may get, at radius 12 over 320x240: tens of
  // seconds for the one frame. The command's own filter stops between
  // passes; a plugin module's frame cannot be cut short and is not waited
  // for. Either way the frame is not written.
  const std::string header = "YUV4MPEG2 W320 H240 F25:1 Ip C422\n";
  const std::string input = header + std::string(kFrameLine) + random_bytes(320 * 240 * 2, 7);
  const QuillfenParameter& iterations =
      *std::find_if(std::begin(kQuillfenParameters), std::end(kQuillfenParameters),
                    [](const QuillfenParameter& parameter) { return parameter.name == std::string("iterations"); });
  const struct {
    std::vector<std::string> arguments;
    int signal_number;
  } cases[] = {{{}, SIGINT}, {{"--plugin", QUILLFEN_PLUGIN_PATH}, SIGTERM}};
  for (const auto& run : cases) {
    std::vector<std::string> arguments = run.arguments;
    arguments.insert(arguments.end(), {"-", "-", "radius=12", "iterations=" + std::to_string(iterations.maximum)});
    SCOPED_TRACE(arguments.front());
    Child child(dir_, arguments, {.in = Stream::kPipe, .out = Stream::kPipe});
    child.feed(input);
    // The header goes out once stop requests are caught; the frame is
    // being filtered once the command has used some processor time.
    child.collect_output(header.size());
    for (const auto end = std::chrono::steady_clock::now() + kDeadline;
         child.cpu_seconds() < 0.3 && std::chrono::steady_clock::now() < end;)
      ::poll(nullptr, 0, 10);
    const auto sent = std::chrono::steady_clock::now();
    child.send(run.signal_number);
    const Ending ending = child.finish(true);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5)) << "the frame was waited for";
    EXPECT_TRUE(ending.exited) << "ended by signal " << ending.signal;
    EXPECT_EQ(ending.status, 130);
    EXPECT_EQ(ending.errors, "quillfen: interrupted; 0 whole frames written\n");
    EXPECT_EQ(child.output(), header);
  }
}

TEST_F(CommandHostileInput, CtrlCWhileWaitingForTheHeaderEndsTheCommandWithoutOutput) {
  // A FIFO as INPUT: it opens for writing only once the command has it open
  // for reading, and the header the command then waits for never comes.
  const fs::path fifo = dir_ / "in.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Child child(dir_, {fifo, output_});
  int writer = -1;
  for (const auto end = std::chrono::steady_clock::now() + kDeadline;
       writer < 0 && std::chrono::steady_clock::now() < end;)
    if ((writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) ::poll(nullptr, 0, 1);
  ASSERT_GE(writer, 0) << "the command never opened its input";
  child.send(SIGINT);
  const Ending ending = child.finish();
  ::close(writer);
  EXPECT_FALSE(ending.exited) << "status " << ending.status << ": " << ending.errors;
  EXPECT_EQ(ending.signal, SIGINT);
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(CommandHostileInput, ClosedOrEmptyStandardStreamsAreNamed) {
  write_file(input_, clip(2));
  {
    Child child(dir_, {"-", output_}, {.in = Stream::kPipe});
    child.close_input();
    const Ending ending = child.finish();
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, "quillfen: the input is empty");
    EXPECT_FALSE(fs::exists(output_));
  }
  {
    const Ending ending = Child(dir_, {"-", output_}, {.in = Stream::kClosed}).finish();
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, "quillfen: INPUT \"-\": standard input is not open");
    EXPECT_FALSE(fs::exists(output_));
  }
  {
    // INPUT would otherwise take the closed descriptor 1 and pass for the output.
    const Ending ending = Child(dir_, {input_, "-"}, {.out = Stream::kClosed}).finish();
    EXPECT_EQ(ending.status, 1);
    expect_one_line(ending.errors, "quillfen: OUTPUT \"-\": standard output is not open");
  }
  {
    // With the standard streams closed, files named by path still work.
    const Ending ending =
        Child(dir_, {input_, output_}, {.in = Stream::kClosed, .out = Stream::kClosed}).finish();
    EXPECT_EQ(ending.status, 0) << ending.errors;
    expect_whole_frames(read_file(output_), 2);
  }
  EXPECT_EQ(read_file(input_), clip(2));
}

// ---- Resource bounds ----

TEST_F(CommandHostileInput, MemoryStaysFlatOverALongPipedClip) {
  const auto peak_rss_kb = [&](int frame_count) {
    Child child(dir_, {"--threads", "2", "-", "-", "iterations=1"},
                {.in = Stream::kPipe, .out = Stream::kPipe, .memory_measured = true});
    child.feed(clip(frame_count));
    // Every frame is out and the command waits for more: its peak so far is
    // that of the whole clip.
    child.collect_output(kHeader.size() + frame_count * kRecordBytes);
    const long peak = child.peak_rss_kb();
    const Ending ending = child.finish();
    EXPECT_EQ(ending.status, 0) << ending.errors;
    EXPECT_EQ(child.output().size(), kHeader.size() + frame_count * kRecordBytes);
    return peak;
  };
  const long short_run = peak_rss_kb(200);
  const long long_run = peak_rss_kb(4000);
  // 3800 more frames of 1 KiB each: anything kept per frame shows well
  // above this margin.
  EXPECT_LE(long_run, short_run + 2048)
      << "peak memory grew from " << short_run << " KiB to " << long_run << " KiB";
}

}  // namespace

}  // namespace quillfen
