// Text drawn with a built-in 5x7 pixel font with descenders (printable
// ASCII; other bytes show as '?'), each glyph in a cell of 6x8 pixels times
// the scale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/rgb_image.h"

namespace quillfen::cli {

inline constexpr int kGlyphCellWidth = 6;
inline constexpr int kGlyphCellHeight = 8;

// Draws `text` with its top left corner at (x, y); parts outside the picture are cut off.
void draw_text(RgbImage& image, int x, int y, std::string_view text, Rgb colour, int scale);

// `text` broken at spaces into lines of at most `columns` characters; a
// word longer than a line is cut.
std::vector<std::string> wrap_text(std::string_view text, int columns);

}  // namespace quillfen::cli
