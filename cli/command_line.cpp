#include "cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "cli/command_error.h"
#include "cli/png_writer.h"
#include "filter/quillfen_parameters.h"

namespace quillfen::cli {
namespace {

// More workers than this only hold memory: each owns a filter chain.
constexpr int kMaxThreads = 256;

[[noreturn]] void usage_error(const std::string& what) {
  throw CommandError("quillfen: " + what + " (see quillfen --help)", kExitUsage);
}

std::optional<int> parse_count(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
    return std::nullopt;
  return value;
}

int parse_threads(const std::string& text) {
  const auto threads = parse_count(text);
  if (!threads || *threads < 1 || *threads > kMaxThreads)
    usage_error("--threads needs a whole number from 1 to " + std::to_string(kMaxThreads) + ", not \"" +
                text + "\"");
  return *threads;
}

// FIRST:LAST, both 0-based and inclusive; LAST may be left out for "to the end".
void parse_frames(const std::string& text, CommandOptions& options) {
  const std::size_t colon = text.find(':');
  const std::string_view view(text);
  const auto first = parse_count(view.substr(0, colon));
  const auto last = colon == std::string::npos ? std::nullopt
                    : colon + 1 == text.size() ? std::optional<int>(INT_MAX)
                                               : parse_count(view.substr(colon + 1));
  if (!first || !last || *last < *first)
    usage_error("--frames needs FIRST:LAST, 0-based with FIRST <= LAST, not \"" + text + "\"");
  options.first_frame = *first;
  options.last_frame = *last;
}

int parse_frame_number(const std::string& text) {
  const auto frame = parse_count(text);
  if (!frame) usage_error("--compare needs a frame number (0-based), not \"" + text + "\"");
  return *frame;
}

// X,Y,W,H: the top left corner and the size, in pixels of the frame.
CommandOptions::Crop parse_crop(const std::string& text) {
  int fields[4];
  std::string_view rest(text);
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? rest.find(',') : rest.size();
    const auto field = comma == std::string_view::npos ? std::nullopt : parse_count(rest.substr(0, comma));
    if (!field || (i >= 2 && *field == 0) || (i == 3 && comma != rest.size()))
      usage_error("--crop needs X,Y,W,H in pixels, W and H at least 1, not \"" + text + "\"");
    fields[i] = *field;
    rest.remove_prefix(i < 3 ? comma + 1 : comma);
  }
  return {fields[0], fields[1], fields[2], fields[3]};
}

// A line of the help's list of filter arguments: the entry, then what it
// does and, kept on one line, its default and range, in a column of their
// own wrapped to 79 columns.
std::string help_entry(const std::string& entry, std::string_view meaning, const std::string& default_and_range) {
  constexpr std::size_t kColumn = 22, kWidth = 79;
  std::vector<std::string> pieces;
  for (std::size_t start = 0; start < meaning.size();) {
    const std::size_t end = std::min(meaning.find(' ', start), meaning.size());
    pieces.emplace_back(meaning.substr(start, end - start));
    start = end + 1;
  }
  pieces.back() += ';';
  pieces.push_back(default_and_range);

  std::string text = "  " + entry;
  text.append(text.size() < kColumn ? kColumn - text.size() : 1, ' ');
  std::size_t line_length = text.size();
  bool line_empty = true;
  for (const std::string& piece : pieces) {
    if (!line_empty && line_length + 1 + piece.size() > kWidth) {
      text += '\n' + std::string(kColumn, ' ');
      line_length = kColumn;
      line_empty = true;
    }
    if (!line_empty) {
      text += ' ';
      ++line_length;
    }
    text += piece;
    line_length += piece.size();
    line_empty = false;
  }
  return text + '\n';
}

std::string default_text(const QuillfenParameter& parameter) {
  if (parameter.flag) return parameter.default_value ? "true" : "false";
  return std::to_string(parameter.default_value);
}

// "default 165, 0 to 255"; a bool takes both values, an int without an
// upper bound any value from its least.
std::string default_and_range(const QuillfenParameter& parameter) {
  std::string text = "default " + default_text(parameter);
  if (parameter.flag) return text;
  if (parameter.maximum == INT_MAX) return text + ", at least " + std::to_string(parameter.minimum);
  return text + ", " + std::to_string(parameter.minimum) + " to " + std::to_string(parameter.maximum);
}

// "radius=2" where OUTPUT should stand: the output was forgotten, and
// writing a file of that name would hide the mistake.
bool looks_like_filter_argument(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  for (std::size_t i = 0; i < equals; ++i)
    if (!std::isalnum(static_cast<unsigned char>(text[i])) && text[i] != '_') return false;
  return true;
}

// --probe INPUT, --join OUTPUT PART...
CommandOptions parse_piece_operands(CommandOptions options, const std::vector<std::string>& positional) {
  if (options.mode == CommandOptions::Mode::kProbe) {
    if (positional.size() != 1) usage_error("--probe needs one INPUT and nothing else");
    options.input = positional[0];
    return options;
  }
  if (positional.size() < 2) usage_error("--join needs OUTPUT and at least one PART");
  if (positional[0] == "-") usage_error("--join needs an OUTPUT file, not standard output");
  options.output = positional[0];
  options.pieces.assign(positional.begin() + 1, positional.end());
  return options;
}

}  // namespace

CommandOptions parse_command_line(const std::vector<std::string>& arguments) {
  CommandOptions options;
  if (arguments.empty()) {
    options.mode = CommandOptions::Mode::kUsage;
    return options;
  }
  std::vector<std::string> positional;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!options_ended && argument == "-h") {
      options.mode = CommandOptions::Mode::kHelp;
      continue;
    }
    // "-" alone is standard input or output; any other word that starts
    // with a dash is an option, so that a mistyped one is never taken for a file.
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    if (argument[1] != '-') usage_error("unknown option \"" + argument + "\"");
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const bool inline_value = equals != std::string::npos;
    const auto value = [&]() -> std::string {
      if (inline_value) return argument.substr(equals + 1);
      if (i + 1 >= arguments.size()) usage_error(name + " needs a value");
      return arguments[++i];
    };
    const auto no_value = [&] {
      if (inline_value) usage_error(name + " takes no value");
    };
    if (name == "--help") {
      no_value();
      options.mode = CommandOptions::Mode::kHelp;
    } else if (name == "--version") {
      no_value();
      options.mode = CommandOptions::Mode::kVersion;
    } else if (name == "--probe") {
      no_value();
      options.mode = CommandOptions::Mode::kProbe;
    } else if (name == "--join") {
      no_value();
      options.mode = CommandOptions::Mode::kJoin;
    } else if (name == "--compare") {
      if (!can_write_png()) throw CommandError(kCompareNotBuilt, kExitUsage);
      options.mode = CommandOptions::Mode::kCompare;
      options.compare_frame = parse_frame_number(value());
    } else if (name == "--crop") {
      options.crop = parse_crop(value());
    } else if (name == "--stats") {
      options.stats_path = value();
      if (options.stats_path.empty()) usage_error("--stats needs a file, or - for standard error");
    } else if (name == "--quiet") {
      no_value();
      options.quiet = true;
    } else if (name == "--threads") {
      options.threads = parse_threads(value());
    } else if (name == "--frames") {
      parse_frames(value(), options);
    } else if (name == "--plugin") {
      options.plugin_path = value();
      if (options.plugin_path.empty()) usage_error("--plugin needs a path");
    } else {
      usage_error("unknown option \"" + name + "\"");
    }
  }
  if (options.mode == CommandOptions::Mode::kProbe || options.mode == CommandOptions::Mode::kJoin)
    return parse_piece_operands(options, positional);
  if (options.mode != CommandOptions::Mode::kRun && options.mode != CommandOptions::Mode::kCompare)
    return options;
  if (options.crop.width > 0 && options.mode != CommandOptions::Mode::kCompare)
    usage_error("--crop goes with --compare");
  if (options.mode == CommandOptions::Mode::kCompare && (options.first_frame != 0 || options.last_frame != INT_MAX))
    usage_error("--compare draws one frame; --frames does not go with it");
  if (options.mode == CommandOptions::Mode::kCompare && positional.size() >= 2 && positional[1] == "-")
    usage_error("--compare writes its picture to a file, not to standard output");

  if (positional.size() < 2) usage_error("INPUT and OUTPUT are needed");
  if (looks_like_filter_argument(positional[1]))
    usage_error("OUTPUT is missing: \"" + positional[1] + "\" is a filter argument (a file of that name: ./" +
                positional[1] + ")");
  options.input = positional[0];
  options.output = positional[1];
  for (std::size_t i = 2; i < positional.size(); ++i) {
    const std::string& item = positional[i];
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos || equals == 0)
      usage_error("filter arguments are name=value, not \"" + item + "\"");
    options.filter_arguments.emplace_back(item.substr(0, equals), item.substr(equals + 1));
  }
  return options;
}

std::string synopsis_text() {
  return R"(Usage: quillfen [options] INPUT OUTPUT [name=value ...]
       quillfen --compare FRAME [--crop X,Y,W,H] INPUT OUTPUT.png [name=value ...]
       quillfen --probe INPUT
       quillfen --join OUTPUT PART...
)";
}

std::string usage_text() {
  std::string text = synopsis_text() + R"(
Filters a Y4M video with the Quillfen filter: luma unchanged, chroma
recomputed by luma-guided propagation. Takes YUV 4:2:0, 4:2:2 and 4:4:4 at 8,
9, 10, 12, 14 and 16 bits (C420, C422, C444, C422p10, ...).

  INPUT, OUTPUT       Y4M files, or - for standard input / standard output
  name=value          an argument of the Quillfen script function, given as
                      text; names in any case

Filter arguments (name=value):
)";
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    text += help_entry(std::string(parameter.name) + (parameter.flag ? "=true|false" : "=N"), parameter.meaning,
                       default_and_range(parameter));
  text += "With iterations=0 a frame gets at most " + std::to_string(kMaxConvergencePasses) + " passes.\n";
  text += R"(threshold counts 8-bit levels at every depth: at N bits a pass's largest
change is compared with threshold << (N - 8). sup has no effect on 4:4:4,
which is filtered as it is, with no unpacking.
)";
  text += R"(
Options:
  --threads N         frames filtered in parallel (default: one per processor);
                      the output is the same for every N
  --frames FIRST:LAST filter and write only frames FIRST to LAST (0-based,
                      inclusive; FIRST: runs to the end of the input)
  --stats FILE        one CSV line per frame written (frame, mean and largest
                      absolute change of U and V, mean shift of U and V,
                      passes) and a summary line; - for standard error
  --compare FRAME     filter only frame FRAME (0-based) and draw a PNG sheet:
                      the frame, U and V before and after the filter with
                      their contrast raised, maps of the change, and a caption
                      with the settings and the frame's figures
)";
  if (!can_write_png()) text += "                      (not in this build: it needs libpng)\n";
  text += R"(  --crop X,Y,W,H      with --compare: show only this part, enlarged
  --probe INPUT       print one line, INPUT's frame count and format, and
                      filter nothing: frames=N width=W height=H fps=N:D
                      chroma=C interlace=I aspect=N:D (frames=unknown from
                      a pipe)
  --join OUTPUT PART... write the pieces' frames, in order, as one Y4M file;
                      pieces whose stream headers differ, or that end inside
                      a frame, are refused and OUTPUT is then not written
)";
  text += R"(  --plugin PATH       filter 8-bit 4:2:2 and 4:2:0 through this AviSynth 2.5
                      plugin module (libquillfen.so) in the command's own
                      stand-in host, with the same bytes; other formats are
                      filtered as without it; --stats then leaves passes empty
  --quiet             no progress line
  --version           print the command's version, and with --plugin the
                      module's
  --help, -h          print this text

Progress goes to stderr when it is a terminal. Errors print one line on stderr
and exit non-zero; the frames already written stay whole.
)";
  return text;
}

}  // namespace quillfen::cli
