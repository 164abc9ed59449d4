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

// The depths a format is taken at, beyond 8 bits.
constexpr int kDeepBits[] = {9, 10, 12, 14, 16};

std::optional<Y4mChroma> chroma_of_layout(std::string_view layout) {
  if (layout == "420") return Y4mChroma::k420;
  if (layout == "422") return Y4mChroma::k422;
  if (layout == "444") return Y4mChroma::k444;
  return std::nullopt;
}

// The depth of the digits after a layout's "p" (or after "mono"), as given;
// 0 when they are not a number.
int depth_of(std::string_view digits) {
  const auto value = parse_unsigned(digits, 64);
  return value ? static_cast<int>(*value) : 0;
}

// The nearest depth taken that loses nothing: the depth itself when taken,
// else the next one up, and 16 above that.
int nearest_taken_depth(int bits) {
  if (bits <= 8) return 8;
  for (const int taken : kDeepBits)
    if (taken >= bits) return taken;
  return 16;
}

// ffmpeg's name of the planar YUV format of this layout and depth, with the
// option ffmpeg needs to write Y4M of more than 8 bits.
std::string pix_fmt_name(std::string_view layout, int bits) {
  return "yuv" + std::string(layout) + "p" + (bits > 8 ? std::to_string(bits) + "le -strict -1" : "");
}

// The taken format nearest to a refused colour format tag, by ffmpeg's name:
// a grey clip becomes 4:2:0 of its depth (it has no chroma to lose), 4:1:1
// becomes 4:2:2, which keeps all of its chroma, 4:4:4 with alpha drops the
// alpha, and a layout at another depth goes to the nearest depth above.
std::string nearest_pix_fmt(std::string_view tag) {
  const std::string_view name = tag.substr(1);
  if (name.starts_with("mono")) return pix_fmt_name("420", nearest_taken_depth(depth_of(name.substr(4))));
  if (name == "411") return pix_fmt_name("422", 8);
  if (name.starts_with("444alpha")) return pix_fmt_name("444", 8);
  const std::string_view layout = name.substr(0, 3);
  if (chroma_of_layout(layout) && name.size() > 4 && name[3] == 'p')
    return pix_fmt_name(layout, nearest_taken_depth(depth_of(name.substr(4))));
  return pix_fmt_name("444", 8);
}

Y4mFormat parse_format(const std::string& tag) {
  if (const std::optional<Y4mFormat> format = y4m_format_of_tag(tag)) return *format;
  throw Y4mError("Y4M input: colour format " + quoted(tag) +
                 " is not supported (YUV 4:2:0, 4:2:2 and 4:4:4 are, at 8, 9, 10, 12, 14 and 16 bits: C420, "
                 "C422, C444, C420p10, C422p16, ...); convert it where the stream is made, e.g. ffmpeg -pix_fmt " +
                 nearest_pix_fmt(tag));
}

// Most videos come in other containers; ffmpeg turns any of them into Y4M.
constexpr const char kPipeThroughFfmpeg[] =
    "; for another video, pipe it through ffmpeg: ffmpeg -i IN -pix_fmt yuv422p -f yuv4mpegpipe - | quillfen - OUT";

void check_frame_size(const Y4mHeader& header, Y4mSizeCheck check) {
  // Each message names a fix with the tool most Y4M streams come from.
  if (check == Y4mSizeCheck::kFilterable && header.chroma != Y4mChroma::k444 && header.width % 2 != 0)
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
      case 'C': {
        once(have_chroma);
        const Y4mFormat format = parse_format(tag);
        header.chroma = format.chroma;
        header.bits = format.bits;
        break;
      }
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

std::optional<Y4mFormat> y4m_format_of_tag(std::string_view tag) {
  const std::string_view name = tag.substr(tag.empty() ? 0 : 1);
  if (name == "420jpeg" || name == "420mpeg2" || name == "420paldv") return Y4mFormat{Y4mChroma::k420, 8};
  const std::optional<Y4mChroma> chroma = chroma_of_layout(name.substr(0, 3));
  if (!chroma) return std::nullopt;
  if (name.size() == 3) return Y4mFormat{*chroma, 8};
  if (name[3] != 'p') return std::nullopt;
  const std::string_view digits = name.substr(4);
  for (const int bits : kDeepBits)
    if (digits == std::to_string(bits)) return Y4mFormat{*chroma, bits};
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

int y4m_chroma_width(const Y4mHeader& header) {
  return header.chroma == Y4mChroma::k444 ? header.width : (header.width + 1) / 2;
}

int y4m_chroma_height(const Y4mHeader& header) {
  return header.chroma == Y4mChroma::k420 ? (header.height + 1) / 2 : header.height;
}

std::size_t y4m_frame_bytes(const Y4mHeader& header) {
  const auto area = [](int width, int height) { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); };
  return (area(header.width, header.height) + 2 * area(y4m_chroma_width(header), y4m_chroma_height(header))) *
         static_cast<std::size_t>(y4m_sample_bytes(header));
}

}  // namespace quillfen::y4m
