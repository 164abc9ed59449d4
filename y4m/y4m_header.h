// The stream header of a YUV4MPEG2 stream: what it says about the frames,
// which of its formats Quillfen takes, and the header text to write for an
// output of the same format.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::y4m {

// A header line, without its newline, is refused when longer than this: a
// stream that never ends its header must not make the reader take all memory.
inline constexpr std::size_t kY4mMaxHeaderBytes = 64 * 1024;

enum class Y4mChroma { k422, k420, k444 };

// A colour format the filter takes: its chroma layout and the bits of each
// sample (8, or 9 to 16 in two bytes, little-endian).
struct Y4mFormat {
  Y4mChroma chroma;
  int bits;
};

struct Y4mHeader {
  int width = 0;
  int height = 0;
  unsigned fps_numerator = 0;
  unsigned fps_denominator = 0;
  // 'p' progressive, 't' top field first, 'b' bottom field first,
  // '?' unknown, 'm' mixed; '?' when the header has no I tag.
  char interlace = '?';
  Y4mChroma chroma = Y4mChroma::k420;
  int bits = 8;
  // Every tag as written (W, H, F, I, A, C and X tags, in their order), so
  // that an output of the same format carries the same header.
  std::vector<std::string> tags;
};

// Throws Y4mError unless `start`, the first bytes of a stream (any number),
// begins with the YUV4MPEG2 signature as far as it goes.
void check_y4m_signature(std::string_view start);

// What a header is checked for beyond its syntax: a frame size the filter
// takes (an even width for 4:2:2, an even width and height for 4:2:0), or
// any size, for a stream that is only described.
enum class Y4mSizeCheck { kFilterable, kAny };

// Parses a header line without its newline. Throws Y4mError with a message
// saying what is wrong for a line that is not a YUV4MPEG2 header, a missing
// or bad size or frame rate, or a colour format y4m_format_of_tag does not
// know; the message of the last names the ffmpeg -pix_fmt to convert to.
Y4mHeader parse_y4m_header(std::string_view line, Y4mSizeCheck check = Y4mSizeCheck::kFilterable);

// The format of a colour format tag the filter takes, or nothing for any
// other: C420 (and its sitings C420jpeg, C420mpeg2, C420paldv), C422 and C444
// at 8 bits, and C420pN, C422pN, C444pN for N = 9, 10, 12, 14 and 16.
std::optional<Y4mFormat> y4m_format_of_tag(std::string_view tag);

// The header line of a stream with the same tags, newline included.
std::string format_y4m_header(const Y4mHeader& header);

// The header's tag of kind `letter` ('W', 'F', 'A', ...) as written, letter
// included; empty when the header has none. For 'X', every X tag in order,
// separated by spaces.
std::string y4m_tag(const Y4mHeader& header, char letter);

// Width and height of the header's U and V planes: a subsampled chroma plane
// of an odd size covers the last column or row too.
int y4m_chroma_width(const Y4mHeader& header);
int y4m_chroma_height(const Y4mHeader& header);

// Bytes of one sample: 1 at 8 bits, 2 above.
inline int y4m_sample_bytes(const Y4mHeader& header) { return header.bits > 8 ? 2 : 1; }

// Bytes of one frame's planes (Y, then U, then V), without its FRAME line.
std::size_t y4m_frame_bytes(const Y4mHeader& header);

}  // namespace quillfen::y4m
