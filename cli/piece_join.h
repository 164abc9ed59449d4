// `quillfen --join OUTPUT PART...`: the pieces of a clip filtered
// separately (--frames) written back as one Y4M file, byte for byte what a
// whole run writes.
#pragma once

#include <string>
#include <vector>

namespace quillfen::cli {

// Writes the header of the first piece and the frames of every piece in
// order. OUTPUT appears, whole, only when every piece is read to its end:
// the frames go to a temporary file beside it that replaces it at the end.
// Throws CommandError naming the piece when one cannot be read, is not a
// Y4M stream, has a stream header that differs from the first piece's in
// any tag, or ends inside a frame; and when a piece is OUTPUT itself.
int join_pieces(const std::string& output_path, const std::vector<std::string>& pieces);

}  // namespace quillfen::cli
