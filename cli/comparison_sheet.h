// The before/after picture of one frame: a grid of three rows of panels,
// the frame, its U plane and its V plane, each shown before the filter,
// after it, and as the size of the change; a caption below.
//
// Every panel shows the same part of the frame, enlarged by nearest
// neighbour to an integer factor that brings its longer side towards 480
// pixels (1 to 16 times). U and V panels give each value that occurs in the
// plane before or after a grey of its own, in order of value, so that a
// one-level change stands out in a flat area and an overshoot shows as an
// extreme. Change maps are black where nothing changed, dark red for one
// level and brighter up to pale yellow for the largest change on the sheet,
// on a logarithmic scale.
#pragma once

#include <cstdint>
#include <string>

#include "cli/rgb_image.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Spacing of the sheet, in pixels: around and between panels, and the
// height of each panel's label and of each caption line.
inline constexpr int kSheetMargin = 8;
inline constexpr int kSheetTextScale = 2;
inline constexpr int kSheetLineHeight = 20;

// The enlargement for a shown part of this size.
int sheet_enlargement(int width, int height);

// `before` and `after` are y4m_frame_bytes(header) bytes of planes; `shown`
// lies inside the frame. Frames of more than 8 bits are shown by the top 8
// bits of each sample.
RgbImage draw_comparison_sheet(const y4m::Y4mHeader& header, const std::uint8_t* before, const std::uint8_t* after,
                               const PixelRect& shown, const std::string& caption);

}  // namespace quillfen::cli
