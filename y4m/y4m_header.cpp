#include "y4m/y4m_header.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <algorithm>
#include <optional>

#include "y4m/y4m_error.h"

namespace quillfen::y4m {
namespace {

constexpr std::string_view kSignature = "YUV4MPEG2";

// Host frames have each row padded to an alignment; this much room per row
// and plane covers any alignment a host chooses.
constexpr std::uint64_t kRowPaddingAllowance = 64;

std::string quoted(std::string_view text) {
  // Keeps a line of random bytes from flooding the message.
  constexpr std::size_t kShown = 40;
  std::string shown(text.substr(0, kShown));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

std::optional<std::uint64_t> parse_unsigned(std::string_view digits, std::uint64_t max) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value > max)
    return std::nullopt;
  return value;
}

// "N:D" with both parts unsigned 32-bit numbers.
std::optional<std::pair<unsigned, unsigned>> parse_ratio(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto n = parse_unsigned(text.substr(0, colon), UINT_MAX);
  const auto d = parse_unsigned(text.substr(colon + 1), UINT_MAX);
  if (!n || !d) return std::nullopt;
  return std::pair{static_cast<unsigned>(*n), static_cast<unsigned>(*d)};
}

int parse_dimension(const std::string& tag) {
  const auto value = parse_unsigned(std::string_view(tag).substr(1), INT_MAX);
  if (!value || *value == 0)
    throw Y4mError("Y4M header: bad frame " + std::string(tag[0] == 'W' ? "width " : "height ") +
                   quoted(tag) + " (a positive whole number is needed)");
  return static_cast<int>(*value);
}

Y4mChroma parse_chroma(const std::string& tag) {
  if (const std::optional<Y4mChroma> chroma = y4m_chroma_of_tag(tag)) return *chroma;
  throw Y4mError("Y4M input: colour format " + quoted(tag) +
                 " is not supported (8-bit 4:2:2 C422, or 4:2:0 C420, C420jpeg, C420mpeg2, "
                 "C420paldv); convert it where the stream is made, e.g. ffmpeg -pix_fmt yuv422p "
                 "(or yuv420p)");
}

// Most videos come in other containers; ffmpeg turns any of them into Y4M.
constexpr const char kPipeThroughFfmpeg[] =
    "; for another video, pipe it through ffmpeg: ffmpeg -i IN -pix_fmt yuv422p -f yuv4mpegpipe - | quillfen - OUT";

void check_frame_size(const Y4mHeader& header, Y4mSizeCheck check) {
  // Each message names a fix with the tool most Y4M streams come from.
  if (check == Y4mSizeCheck::kFilterable && header.width % 2 != 0)
    throw Y4mError("Y4M input: frame width " + std::to_string(header.width) +
                   " is odd (4:2:2 and 4:2:0 need an even width); make it even where the stream is made, "
                   "e.g. ffmpeg -vf crop=iw-1:ih (drops the last column) or -vf pad=iw+1:ih (adds a black one)");
  if (check == Y4mSizeCheck::kFilterable && header.chroma == Y4mChroma::k420 && header.height % 2 != 0)
    throw Y4mError("Y4M input: frame height " + std::to_string(header.height) +
                   " is odd (4:2:0 needs an even height); make it even where the stream is made, "
                   "e.g. ffmpeg -vf crop=iw:ih-1 (drops the last row) or -vf pad=iw:ih+1 (adds a black one)");
  // Frame sizes, pitches and offsets of the host interface are ints: the
  // frame with its row padding must fit one, checked before any allocation.
  const std::uint64_t rows = static_cast<std::uint64_t>(header.height);
  const std::uint64_t padded = static_cast<std::uint64_t>(y4m_frame_bytes(header)) +
                               3 * kRowPaddingAllowance * rows;
  if (padded > static_cast<std::uint64_t>(INT_MAX))
    throw Y4mError("Y4M input: frame size " + std::to_string(header.width) + "x" +
                   std::to_string(header.height) + " is too large (a frame must stay under 2 GiB)");
}

}  // namespace

void check_y4m_signature(std::string_view start) {
  const std::size_t compared = std::min(start.size(), kSignature.size());
  const bool separated = start.size() <= kSignature.size() || start[kSignature.size()] == ' ' ||
                         start[kSignature.size()] == '\n';
  if (start.substr(0, compared) != kSignature.substr(0, compared) || !separated)
    throw Y4mError("the input is not a YUV4MPEG2 (Y4M) stream: it starts with " + quoted(start) + kPipeThroughFfmpeg);
}

Y4mHeader parse_y4m_header(std::string_view line, Y4mSizeCheck check) {
  check_y4m_signature(line);
  if (line.size() < kSignature.size())
    throw Y4mError("the input is not a YUV4MPEG2 (Y4M) stream: it starts with " + quoted(line) + kPipeThroughFfmpeg);

  Y4mHeader header;
  bool have_rate = false, have_chroma = false, have_interlace = false, have_aspect = false;
  std::string_view rest = line.substr(kSignature.size());
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    std::string tag(rest.substr(0, end));
    rest.remove_prefix(end);

    const auto once = [&](bool& seen) {
      if (seen) throw Y4mError("Y4M header: tag " + quoted(tag) + " repeats an earlier one");
      seen = true;
    };
    switch (tag[0]) {
      case 'W':
        if (header.width) throw Y4mError("Y4M header: the width is given twice");
        header.width = parse_dimension(tag);
        break;
      case 'H':
        if (header.height) throw Y4mError("Y4M header: the height is given twice");
        header.height = parse_dimension(tag);
        break;
      case 'F': {
        once(have_rate);
        const auto rate = parse_ratio(std::string_view(tag).substr(1));
        if (!rate || rate->first == 0 || rate->second == 0)
          throw Y4mError("Y4M header: bad frame rate " + quoted(tag) +
                         " (expected F<numerator>:<denominator>, both positive)");
        header.fps_numerator = rate->first;
        header.fps_denominator = rate->second;
        break;
      }
      case 'I':
        once(have_interlace);
        if (tag.size() != 2 || std::string_view("ptbm?").find(tag[1]) == std::string_view::npos)
          throw Y4mError("Y4M header: bad interlace field " + quoted(tag) +
                         " (expected Ip, It, Ib, Im or I?)");
        header.interlace = tag[1];
        break;
      case 'A':
        once(have_aspect);
        if (!parse_ratio(std::string_view(tag).substr(1)))
          throw Y4mError("Y4M header: bad pixel aspect " + quoted(tag) + " (expected A<n>:<d>)");
        break;
      case 'C':
        once(have_chroma);
        header.chroma = parse_chroma(tag);
        break;
      case 'X':
        break;
      default:
        throw Y4mError("Y4M header: unknown tag " + quoted(tag));
    }
    header.tags.push_back(std::move(tag));
  }
  if (!header.width || !header.height)
    throw Y4mError("Y4M header: frame width (W) or height (H) is missing");
  if (!have_rate) throw Y4mError("Y4M header: frame rate (F) is missing");
  check_frame_size(header, check);
  return header;
}

std::optional<Y4mChroma> y4m_chroma_of_tag(std::string_view tag) {
  const std::string_view name = tag.substr(tag.empty() ? 0 : 1);
  if (name == "422") return Y4mChroma::k422;
  if (name == "420" || name == "420jpeg" || name == "420mpeg2" || name == "420paldv") return Y4mChroma::k420;
  return std::nullopt;
}

std::string format_y4m_header(const Y4mHeader& header) {
  std::string line(kSignature);
  for (const std::string& tag : header.tags) line += ' ' + tag;
  return line + '\n';
}

std::string y4m_tag(const Y4mHeader& header, char letter) {
  std::string found;
  for (const std::string& tag : header.tags) {
    if (tag[0] != letter) continue;
    if (letter != 'X') return tag;
    found += (found.empty() ? "" : " ") + tag;
  }
  return found;
}

std::size_t y4m_frame_bytes(const Y4mHeader& header) {
  const std::size_t width = static_cast<std::size_t>(header.width);
  const std::size_t height = static_cast<std::size_t>(header.height);
  const std::size_t chroma =
      (width + 1) / 2 * (header.chroma == Y4mChroma::k422 ? height : (height + 1) / 2);
  return width * height + 2 * chroma;
}

}  // namespace quillfen::y4m
