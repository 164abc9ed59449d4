#include "cli/comparison_sheet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "cli/bitmap_font.h"

namespace quillfen::cli {
namespace {

constexpr int kPanelTarget = 480;
constexpr int kMaxEnlargement = 16;
constexpr Rgb kBackground{32, 32, 32};
constexpr Rgb kText{235, 235, 235};

// The planes of one 8-bit Y4M frame, addressed by luma pixel.
struct FramePlanes {
  const std::uint8_t* y;
  const std::uint8_t* u;
  const std::uint8_t* v;
  int width;
  int chroma_width;
  int chroma_column_shift;  // 1 where two luma columns share a chroma column (4:2:2, 4:2:0)
  int chroma_row_shift;     // 1 for 4:2:0, where two luma rows share a chroma row

  FramePlanes(const y4m::Y4mHeader& header, const std::uint8_t* planes)
      : y(planes), width(header.width), chroma_width(y4m::y4m_chroma_width(header)),
        chroma_column_shift(header.chroma == y4m::Y4mChroma::k444 ? 0 : 1),
        chroma_row_shift(header.chroma == y4m::Y4mChroma::k420 ? 1 : 0) {
    const std::size_t luma = static_cast<std::size_t>(header.width) * header.height;
    const std::size_t chroma = (y4m_frame_bytes(header) - luma) / 2;
    u = planes + luma;
    v = u + chroma;
  }
  std::size_t chroma_at(int x, int row) const {
    return static_cast<std::size_t>(row >> chroma_row_shift) * chroma_width + (x >> chroma_column_shift);
  }
  int luma(int x, int row) const { return y[static_cast<std::size_t>(row) * width + x]; }
};

Rgb clamped(int r, int g, int b) {
  const auto c = [](int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); };
  return {c(r), c(g), c(b)};
}

// Studio-range BT.601, as Y4M streams carry by default.
Rgb to_rgb(int y, int u, int v) {
  const int c = 298 * (y - 16);
  const int d = u - 128;
  const int e = v - 128;
  return clamped((c + 409 * e + 128) >> 8, (c - 100 * d - 208 * e + 128) >> 8, (c + 516 * d + 128) >> 8);
}

// A grey for each value that occurs in either plane within the shown part,
// evenly spaced in order of value.
std::array<std::uint8_t, 256> rank_greys(const std::uint8_t* before, const std::uint8_t* after, const FramePlanes& layout,
                                         const PixelRect& shown) {
  std::array<bool, 256> present{};
  for (int row = shown.y; row < shown.y + shown.height; ++row)
    for (int x = shown.x; x < shown.x + shown.width; ++x) {
      present[before[layout.chroma_at(x, row)]] = true;
      present[after[layout.chroma_at(x, row)]] = true;
    }
  const int count = static_cast<int>(std::count(present.begin(), present.end(), true));
  std::array<std::uint8_t, 256> grey{};
  int rank = 0;
  for (int value = 0; value < 256; ++value) {
    if (!present[value]) continue;
    grey[value] = static_cast<std::uint8_t>(count == 1 ? 128 : (rank * 255 + (count - 1) / 2) / (count - 1));
    ++rank;
  }
  return grey;
}

// Black for no change; from dark red (one level) to pale yellow (`largest`).
Rgb change_colour(int change, int largest) {
  if (change == 0) return {0, 0, 0};
  const double t = largest > 1 ? std::log(static_cast<double>(change)) / std::log(static_cast<double>(largest)) : 1.0;
  return clamped(static_cast<int>(150 + 105 * std::min(1.0, 2 * t)),
                 static_cast<int>(30 + 225 * std::max(0.0, (t - 0.3) / 0.7)),
                 static_cast<int>(170 * std::max(0.0, (t - 0.7) / 0.3)));
}

// The top 8 bits of every sample of a frame of more than 8 bits.
std::vector<std::uint8_t> top_eight_bits(const y4m::Y4mHeader& header, const std::uint8_t* planes) {
  std::vector<std::uint8_t> eight_bit(y4m::y4m_frame_bytes(header) / 2);
  const int shift = header.bits - 8;
  for (std::size_t i = 0; i < eight_bit.size(); ++i)
    eight_bit[i] = static_cast<std::uint8_t>((planes[2 * i] | planes[2 * i + 1] << 8) >> shift);
  return eight_bit;
}

}  // namespace

int sheet_enlargement(int width, int height) {
  return std::clamp(kPanelTarget / std::max(width, height), 1, kMaxEnlargement);
}

RgbImage draw_comparison_sheet(const y4m::Y4mHeader& header, const std::uint8_t* before, const std::uint8_t* after,
                               const PixelRect& shown, const std::string& caption) {
  if (header.bits > 8) {
    y4m::Y4mHeader eight_bit_header = header;
    eight_bit_header.bits = 8;
    return draw_comparison_sheet(eight_bit_header, top_eight_bits(header, before).data(),
                                 top_eight_bits(header, after).data(), shown, caption);
  }
  const FramePlanes old_frame(header, before);
  const FramePlanes new_frame(header, after);
  const int scale = sheet_enlargement(shown.width, shown.height);
  const int panel_width = shown.width * scale;
  const int panel_height = shown.height * scale;
  const int cell_height = kSheetLineHeight + panel_height + kSheetMargin;
  const int sheet_width = 3 * panel_width + 4 * kSheetMargin;
  const int grid_height = kSheetMargin + 3 * cell_height;
  const std::vector<std::string> lines =
      wrap_text(caption, std::max(1, (sheet_width - 2 * kSheetMargin) / (kGlyphCellWidth * kSheetTextScale)));
  RgbImage sheet(sheet_width, grid_height + static_cast<int>(lines.size()) * kSheetLineHeight + kSheetMargin,
                 kBackground);

  const auto u_grey = rank_greys(old_frame.u, new_frame.u, old_frame, shown);
  const auto v_grey = rank_greys(old_frame.v, new_frame.v, old_frame, shown);
  const auto u_change = [&](int x, int row) {
    const std::size_t at = old_frame.chroma_at(x, row);
    return std::abs(new_frame.u[at] - old_frame.u[at]);
  };
  const auto v_change = [&](int x, int row) {
    const std::size_t at = old_frame.chroma_at(x, row);
    return std::abs(new_frame.v[at] - old_frame.v[at]);
  };
  int largest = 0;
  for (int row = shown.y; row < shown.y + shown.height; ++row)
    for (int x = shown.x; x < shown.x + shown.width; ++x)
      largest = std::max({largest, u_change(x, row), v_change(x, row)});

  const auto grey = [](std::uint8_t value) { return Rgb{value, value, value}; };
  const auto colour_of = [&](int panel, int x, int row) -> Rgb {
    const std::size_t at = old_frame.chroma_at(x, row);
    switch (panel) {
      case 0: return to_rgb(old_frame.luma(x, row), old_frame.u[at], old_frame.v[at]);
      case 1: return to_rgb(new_frame.luma(x, row), new_frame.u[at], new_frame.v[at]);
      case 2: return change_colour(std::max(u_change(x, row), v_change(x, row)), largest);
      case 3: return grey(u_grey[old_frame.u[at]]);
      case 4: return grey(u_grey[new_frame.u[at]]);
      case 5: return change_colour(u_change(x, row), largest);
      case 6: return grey(v_grey[old_frame.v[at]]);
      case 7: return grey(v_grey[new_frame.v[at]]);
      default: return change_colour(v_change(x, row), largest);
    }
  };
  constexpr const char* kLabels[9] = {"before",   "after",   "change U,V (largest)",
                                      "U before", "U after", "change U",
                                      "V before", "V after", "change V"};
  for (int panel = 0; panel < 9; ++panel) {
    const int left = kSheetMargin + (panel % 3) * (panel_width + kSheetMargin);
    const int top = kSheetMargin + (panel / 3) * cell_height;
    draw_text(sheet, left, top + 2, kLabels[panel], kText, kSheetTextScale);
    for (int py = 0; py < panel_height; ++py)
      for (int px = 0; px < panel_width; ++px)
        sheet.set(left + px, top + kSheetLineHeight + py,
                  colour_of(panel, shown.x + px / scale, shown.y + py / scale));
  }
  for (std::size_t i = 0; i < lines.size(); ++i)
    draw_text(sheet, kSheetMargin, grid_height + static_cast<int>(i) * kSheetLineHeight + 2, lines[i], kText,
              kSheetTextScale);
  return sheet;
}

}  // namespace quillfen::cli
