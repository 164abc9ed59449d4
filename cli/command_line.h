// The command's arguments: `quillfen [options] INPUT OUTPUT [name=value ...]`.
#pragma once

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::cli {

struct CommandOptions {
  enum class Mode { kRun, kHelp, kVersion, kProbe, kJoin, kCompare };
  Mode mode = Mode::kRun;
  // No arguments at all: filter the bundled sample clip into a named file.
  bool sample_run = false;
  std::string input;   // a path, or "-" for standard input
  std::string output;  // a path, or "-" for standard output
  std::vector<std::string> pieces;  // --join: the pieces, in order
  // Passed as text to the filter's script function, in the order given;
  // their names and kinds are the function's business.
  std::vector<std::pair<std::string, std::string>> filter_arguments;
  int threads = 0;  // 0: one per processor
  int first_frame = 0;
  int last_frame = INT_MAX;  // inclusive; INT_MAX: to the end of the input
  bool quiet = false;
  std::string stats_path;  // --stats: a file, "-" for standard error; empty: none
  int compare_frame = 0;   // --compare: the frame drawn; OUTPUT is then a PNG file
  // --compare --crop X,Y,W,H: the part of the frame drawn, enlarged; W 0: all of it.
  struct Crop {
    int x = 0, y = 0, width = 0, height = 0;
  } crop;
  std::string plugin_path;  // empty: the built-in filter, or the module beside the executable, else the installed one
};

// Throws CommandError (exit status kExitUsage) with a line that says what
// is wrong and points to --help.
CommandOptions parse_command_line(const std::vector<std::string>& arguments);

std::string usage_text();

}  // namespace quillfen::cli
