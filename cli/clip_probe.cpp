#include "cli/clip_probe.h"

#include <cstdio>

#include "cli/command_error.h"
#include "cli/stream_files.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"

namespace quillfen::cli {
namespace {

// The value of a tag without its letter; `absent` when the header has none.
std::string tag_value(const y4m::Y4mHeader& header, char letter, const char* absent) {
  const std::string tag = y4m::y4m_tag(header, letter);
  return tag.empty() ? absent : tag.substr(1);
}

}  // namespace

int probe_clip(const std::string& input_path) {
  const StreamFile input = open_input(input_path);
  // Described whatever its size, also one the filter does not take.
  const y4m::Y4mReader reader(input.fd(), y4m::Y4mSizeCheck::kAny);
  const int frames = reader.count_remaining_frames();
  // A piece planned from a count that stops short of the end would leave
  // the rest out of every piece without a word.
  if (!reader.ends_after_whole_frames())
    throw CommandError("quillfen: INPUT \"" + input_path + "\" has " + std::to_string(frames) +
                       " whole frames, then a frame cut short or bytes that are not a frame");
  const y4m::Y4mHeader& header = reader.header();
  std::printf("frames=%s width=%d height=%d fps=%u:%u chroma=%s interlace=%c aspect=%s\n",
              frames < 0 ? "unknown" : std::to_string(frames).c_str(), header.width, header.height,
              header.fps_numerator, header.fps_denominator,
              tag_value(header, 'C', "420jpeg").c_str(),  // the stream default
              header.interlace, tag_value(header, 'A', "0:0").c_str());
  if (std::fflush(stdout) != 0) throw CommandError("quillfen: cannot write the probe line to standard output");
  return kExitOk;
}

}  // namespace quillfen::cli
