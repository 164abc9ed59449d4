// How many propagation passes a frame gets: with `iterations` above 0
// exactly that many; with 0, passes repeat until one changes no chroma byte
// by more than `threshold`. Every frame gets at least one pass.
#pragma once

#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"

// Runs the passes over `current` with `kernel`, each into `next`, followed
// by `copy_next_to_current()`, so that `current` holds the last pass's
// output. `memo` is the caller's gaussian_weight_memo_for(settings.gaussian).
// Returns the number of passes run.
template <class CopyNextToCurrent>
int run_passes(const PassKernel& kernel, const PassSettings& settings, int iterations, int threshold, BYTE* current,
               BYTE* next, GaussianWeightCache* memo, CopyNextToCurrent&& copy_next_to_current) {
  const int passes = iterations > 0 ? iterations : kMaxConvergencePasses;
  for (int pass = 0; pass < passes; ++pass) {
    const int change = kernel.run(settings, current, next, memo);
    copy_next_to_current();
    if (iterations == 0 && change <= threshold) return pass + 1;
  }
  return passes;
}
