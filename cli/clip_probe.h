// `quillfen --probe INPUT`: what a job needs to plan pieces of a clip, its
// frame count and format, on one line, without filtering anything.
#pragma once

#include <string>

namespace quillfen::cli {

// Prints "frames=N width=W height=H fps=N:D chroma=C interlace=I aspect=N:D"
// on stdout; frames=unknown when INPUT is a pipe. Throws CommandError when
// INPUT is not a Y4M stream the command takes, or a file that does not end
// after its last whole frame.
int probe_clip(const std::string& input_path);

}  // namespace quillfen::cli
