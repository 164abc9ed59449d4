// The command's arguments: `quillfen [options] INPUT OUTPUT [name=value ...]`.
#pragma once

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::cli {

struct CommandOptions {
  // kUsage: no arguments at all, answered with the synopsis on stderr.
  enum class Mode { kRun, kHelp, kUsage, kVersion, kProbe, kJoin, kCompare };
  Mode mode = Mode::kRun;
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
  // --plugin: the AviSynth 2.5 module that filters 8-bit 4:2:2 and 4:2:0
  // instead of the command's own filter; empty: none.
  std::string plugin_path;
};

// Throws CommandError (exit status kExitUsage) with a line that says what
// is wrong and points to --help.
CommandOptions parse_command_line(const std::vector<std::string>& arguments);

// The "Usage:" lines alone, and the whole --help text that starts with them.
std::string synopsis_text();
std::string usage_text();

}  // namespace quillfen::cli
