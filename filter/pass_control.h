// How many propagation passes a frame gets: with `iterations` above 0
// exactly that many; with 0, passes repeat until one changes no chroma byte
// by more than `threshold`. Every frame gets at least one pass.
#pragma once

#include "host/avisynth_interface.h"
#include "propagation/propagation_pass.h"

// Passes run at most this often per frame while waiting for convergence
// (iterations 0): with the linear affinity and a small threshold a frame
// may never converge, and a frame request must still return.
inline constexpr int kMaxConvergencePasses = 1000;

// Runs the passes over `current`, each into `next`, followed by
// `copy_next_to_current()`, so that `current` holds the last pass's output.
template <class CopyNextToCurrent>
void run_passes(const PassSettings& settings, int iterations, int threshold, BYTE* current, BYTE* next,
                CopyNextToCurrent&& copy_next_to_current) {
  const int passes = iterations > 0 ? iterations : kMaxConvergencePasses;
  for (int pass = 0; pass < passes; ++pass) {
    const int change = propagation_pass(settings, current, next);
    copy_next_to_current();
    if (iterations == 0 && change <= threshold) break;
  }
}
