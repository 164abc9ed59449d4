// The working memory of the vector kernels (lane_kernel.h): the window of
// rows converted to double, the run's Gaussian weight table and the lists
// its weights are made from. Together they take a few hundred KiB, far too
// much for the stack of a host's thread (musl gives 128 KiB, macOS 512 KiB
// to threads it starts, and some hosts size their pools smaller), so the
// owner of the working images makes one with them, once, and hands it to
// every pass: a pass then allocates nothing and keeps only small
// temporaries on the stack. Its size depends on nothing of the frame: the
// window covers one tile of columns, whatever the width, and byte and wide
// images use parts of the same workspace. A workspace serves one pass at a
// time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "propagation/lane_weight_table.h"

namespace quillfen {

// Largest radius the window holds; larger passes take the straightforward walk.
inline constexpr int kMaxLaneRadius = 12;
// Centres per window; the window adds `radius` columns on either side.
inline constexpr int kLaneTileWidth = 64;
inline constexpr int kLaneWindowWidth = kLaneTileWidth + 2 * kMaxLaneRadius;
inline constexpr int kLaneWindowRows = 2 * kMaxLaneRadius + 1;

// The rows around one centre row, as doubles: image row k sits in slot
// k % (2 * radius + 1), so moving down one centre row converts one row.
struct LaneWindow {
  double luma[kLaneWindowRows][kLaneWindowWidth];
  double u[kLaneWindowRows][kLaneWindowWidth];
  double v[kLaneWindowRows][kLaneWindowWidth];
  // Each pixel's chroma range word (ChromaRangeWords): their field-wise
  // minimum over a centre's samples is the range of the samples' chroma,
  // gathered with one operation per sample. Made only for the linear
  // form, the only one whose sums take the range.
  std::uint64_t chroma_range[kLaneWindowRows][kLaneWindowWidth];
};

// Samples whose exponents one list of a wide image's run holds: every disc
// row fits, and a disc of radius 4 and less fits whole.
inline constexpr int kListedSamples = 64;
static_assert(2 * kMaxLaneRadius + 1 <= kListedSamples, "a list must hold every disc row whole");

// The exponents of a run's samples listed a few disc rows at a time, each
// sample's lanes side by side, and their powers.
struct ListedWeights {
  alignas(64) double exponents[kListedSamples * kMaxTableLanes];
  alignas(64) double weights[kListedSamples * kMaxTableLanes];
};

// Room for the lists a kernel makes while it fills a run's weight table
// (the exponents of the differences its lanes met, their powers, where each
// power goes), each kernel in a layout of its own (weight_fill_lists).
inline constexpr std::size_t kWeightFillBytes = 80 * 1024;
struct alignas(64) WeightFillSpace {
  std::byte bytes[kWeightFillBytes];
};

// A kernel's lists of type Lists, made afresh in `space`; Lists must be
// default-constructible and need no destruction.
template <class Lists>
[[gnu::always_inline]] inline Lists& weight_fill_lists(WeightFillSpace& space) {
  static_assert(sizeof(Lists) <= sizeof(WeightFillSpace) && alignof(Lists) <= alignof(WeightFillSpace),
                "a kernel's weight lists must fit the workspace");
  static_assert(std::is_trivially_destructible_v<Lists>);
  return *::new (space.bytes) Lists;
}

// How many runs of centres of the Gaussian form of byte images the bounded
// weights decided, and how many took the exact ones, over the workspace's
// life: the benchmarks report the share.
struct GaussianRunCounts {
  std::uint64_t bounded = 0;
  std::uint64_t exact = 0;
};

struct PassWorkspace {
  LaneWeightTable table;
  ListedWeights listed;
  WeightFillSpace weight_fill;
  LaneWindow window;
  GaussianRunCounts gaussian_runs;
};

// Throws std::bad_alloc when memory runs out.
inline std::unique_ptr<PassWorkspace> make_pass_workspace() { return std::make_unique<PassWorkspace>(); }

}  // namespace quillfen
