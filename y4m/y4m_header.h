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

enum class Y4mChroma { k422, k420 };

struct Y4mHeader {
  int width = 0;
  int height = 0;
  unsigned fps_numerator = 0;
  unsigned fps_denominator = 0;
  // 'p' progressive, 't' top field first, 'b' bottom field first,
  // '?' unknown, 'm' mixed; '?' when the header has no I tag.
  char interlace = '?';
  Y4mChroma chroma = Y4mChroma::k420;
  // Every tag as written (W, H, F, I, A, C and X tags, in their order), so
  // that an output of the same format carries the same header.
  std::vector<std::string> tags;
};

// Throws Y4mError unless `start`, the first bytes of a stream (any number),
// begins with the YUV4MPEG2 signature as far as it goes.
void check_y4m_signature(std::string_view start);

// What a header is checked for beyond its syntax: a frame size the filter
// takes (even where the chroma is subsampled), or any size, for a stream
// that is only described.
enum class Y4mSizeCheck { kFilterable, kAny };

// Parses a header line without its newline. Throws Y4mError with a message
// saying what is wrong for a line that is not a YUV4MPEG2 header, a missing
// or bad size or frame rate, or a format other than 8-bit 4:2:2 or 4:2:0.
Y4mHeader parse_y4m_header(std::string_view line, Y4mSizeCheck check = Y4mSizeCheck::kFilterable);

// The chroma of a colour format tag (C422, C420jpeg, ...) the filter takes,
// or nothing for any other.
std::optional<Y4mChroma> y4m_chroma_of_tag(std::string_view tag);

// The header line of a stream with the same tags, newline included.
std::string format_y4m_header(const Y4mHeader& header);

// The header's tag of kind `letter` ('W', 'F', 'A', ...) as written, letter
// included; empty when the header has none. For 'X', every X tag in order,
// separated by spaces.
std::string y4m_tag(const Y4mHeader& header, char letter);

// Bytes of one frame's planes (Y, then U, then V), without its FRAME line; a
// subsampled chroma plane of an odd size covers the last column or row too.
std::size_t y4m_frame_bytes(const Y4mHeader& header);

}  // namespace quillfen::y4m
