// The interchangeable implementations of the propagation pass. Every kernel
// stores the same bytes and returns the same change as
// propagation_pass_reference on every input; they differ only in speed and
// in the instructions they need.
#pragma once

#include <vector>

#include "host/avisynth_interface.h"
#include "propagation/propagation_pass.h"

struct PassKernel {
  const char* name;
  int (*run)(const PassSettings& settings, const BYTE* current, BYTE* next);
};

// Every kernel this CPU can run, the portable one first and the fastest last.
std::vector<PassKernel> supported_pass_kernels();

// The fastest kernel this CPU can run, chosen once.
const PassKernel& best_pass_kernel();

// The kernels themselves, one per instruction set; each may be called only
// where supported_pass_kernels() lists it. The x86 ones are built for x86
// targets only.
int propagation_pass_portable(const PassSettings& settings, const BYTE* current, BYTE* next);
int propagation_pass_avx2(const PassSettings& settings, const BYTE* current, BYTE* next);
int propagation_pass_avx512(const PassSettings& settings, const BYTE* current, BYTE* next);
