// How many propagation passes a frame gets: with `iterations` above 0
// exactly that many; with 0, passes repeat until one changes no chroma
// sample by more than `threshold`. Every frame gets at least one pass.
#pragma once

#include <atomic>

#include "filter/quillfen_parameters.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"

namespace quillfen {

// Whether a pass's largest change is within `threshold` 8-bit levels: in
// codes of the depth, threshold << (bits - 8); in float units, 255 of
// which make a level.
inline bool change_within_threshold(int change, int threshold, int bits) { return change <= threshold << (bits - 8); }
inline bool change_within_threshold(double change, int threshold, int) { return change * 255.0 <= threshold; }

// Runs the passes over `current` with `kernel`'s entry for the sample type
// (bytes, wide samples of settings.bits, or floats), each into `next`,
// followed by `copy_next_to_current()`, so that `current` holds the last
// pass's output. `threshold` counts 8-bit levels at every depth
// (change_within_threshold). `memo` is the caller's
// gaussian_weight_memo_for(settings.gaussian), `workspace` its
// make_pass_workspace(), both made with the working images. Returns the
// number of passes run, or 0 when `stop` was found set before a pass: the
// frame is then left unfinished.
template <class Sample, class CopyNextToCurrent>
int run_passes(const PassKernel& kernel, const PassSettings& settings, int iterations, int threshold, Sample* current,
               Sample* next, GaussianWeightCache* memo, PassWorkspace& workspace,
               CopyNextToCurrent&& copy_next_to_current, const std::atomic<bool>* stop = nullptr) {
  const int passes = iterations > 0 ? iterations : kMaxConvergencePasses;
  for (int pass = 0; pass < passes; ++pass) {
    if (stop && stop->load(std::memory_order_relaxed)) return 0;
    const auto change = run_pass_kernel(kernel, settings, current, next, memo, workspace);
    copy_next_to_current();
    if (iterations == 0 && change_within_threshold(change, threshold, settings.bits)) return pass + 1;
  }
  return passes;
}

}  // namespace quillfen
