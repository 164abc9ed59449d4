// avs2y4m: runs an AviSynth script in the installed AviSynth+ and writes the
// frames of its clip as Y4M, to a file or a pipe; on Linux nothing else runs
// a .avs script for the quillfen command or ffmpeg to read.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_error.h"
#include "contrib/avs2y4m/avisynth_library.h"
#include "contrib/avs2y4m/script_output.h"

namespace quillfen {

namespace {

using quillfen::cli::CommandError;
namespace cli = quillfen::cli;
namespace avs2y4m = quillfen::avs2y4m;

constexpr char kUsage[] = R"(Usage: avs2y4m [options] SCRIPT OUTPUT
       avs2y4m --version

Runs the AviSynth script SCRIPT in AviSynth+ and writes the frames of the
clip it returns to OUTPUT as Y4M (YUV4MPEG2), the input of the quillfen
command and of ffmpeg. OUTPUT is a file, or - for standard output; a file
appears only once every frame is written.

The clip must be YUY2 (written as 4:2:2) or YUV 4:2:0, 4:2:2 or 4:4:4 of 8,
10, 12, 14 or 16 bits; the header takes the pixel aspect, 4:2:0 siting and
range from the first frame's properties (_SARNum, _SARDen, _ChromaLocation,
_ColorRange). Scripts read Y4M files of the same formats, and those tags,
with Y4MSource("file.y4m") (8-bit 4:2:2 as YUY2); make one from any video with
  ffmpeg -i IN -pix_fmt yuv422p10le -strict -1 -f yuv4mpegpipe file.y4m

Options:
  --library PATH  the AviSynth+ library to load (default: libavisynth.so,
                  found as the system finds shared libraries; or the
                  AVS2Y4M_LIBRARY environment variable)
  --quiet         no progress line (shown only when stderr is a terminal)
  --version       print the command's version and the loaded AviSynth+'s
  --help, -h      print this text

Errors print one line on stderr, a script's error as AviSynth+ words it.
Exit status: 0 success, 1 failure, 2 usage error, 130 stopped by Ctrl-C.
)";

struct Options {
  enum class Mode { kRun, kHelp, kVersion } mode = Mode::kRun;
  std::string script;
  std::string output;
  std::string library;
  bool quiet = false;
};

[[noreturn]] void usage_error(const std::string& what) {
  throw CommandError("avs2y4m: " + what + " (see avs2y4m --help)", cli::kExitUsage);
}

Options parse_command_line(const std::vector<std::string>& arguments) {
  Options options;
  const char* library = std::getenv("AVS2Y4M_LIBRARY");
  options.library = library && *library ? library : avs2y4m::kDefaultAviSynthLibrary;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.mode = Options::Mode::kHelp;
    } else if (argument == "--version") {
      options.mode = Options::Mode::kVersion;
    } else if (argument == "--quiet") {
      options.quiet = true;
    } else if (argument == "--library") {
      if (++i == arguments.size()) usage_error("--library needs a PATH");
      options.library = arguments[i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      usage_error("unknown option " + argument);
    } else {
      operands.push_back(argument);
    }
  }
  if (options.mode != Options::Mode::kRun) return options;
  if (operands.size() != 2)
    usage_error(operands.empty()      ? "SCRIPT and OUTPUT are missing"
                : operands.size() == 1 ? "OUTPUT is missing"
                                       : "more than SCRIPT and OUTPUT given");
  options.script = operands[0];
  options.output = operands[1];
  return options;
}

int print_version(const Options& options) {
  std::printf("avs2y4m %s (Quillfen)\n", QUILLFEN_VERSION);
  std::fflush(stdout);
  avs2y4m::ScriptEnvironment env(options.library);
  const AVSValue no_arguments[1];
  const std::string version = env->Invoke("VersionString", AVSValue(no_arguments, 0)).AsString("");
  std::printf("%s (%s)\n", version.c_str(), env.library_path().c_str());
  return cli::kExitOk;
}

int run(const Options& options) {
  switch (options.mode) {
    case Options::Mode::kHelp:
      std::fputs(kUsage, stdout);
      return cli::kExitOk;
    case Options::Mode::kVersion:
      return print_version(options);
    case Options::Mode::kRun:
      break;
  }
  // Said before AviSynth+ is loaded, in the command's words.
  if (access(options.script.c_str(), R_OK) != 0)
    throw CommandError("avs2y4m: cannot read the script " + options.script + ": " + std::strerror(errno));
  avs2y4m::ScriptEnvironment env(options.library);
  return avs2y4m::write_script_output(env, options.script, options.output, !options.quiet && isatty(STDERR_FILENO));
}

}  // namespace

int run_program(int argc, char** argv) {
  try {
    return run(parse_command_line(std::vector<std::string>(argv + 1, argv + argc)));
  } catch (const CommandError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return error.status();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "avs2y4m: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "avs2y4m: AviSynth+ failed\n");
  }
  return cli::kExitFailure;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }
