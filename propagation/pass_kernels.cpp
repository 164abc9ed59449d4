#include "propagation/pass_kernels.h"

namespace {

#ifdef QUILLFEN_X86_KERNELS
bool cpu_has_avx2_fma() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

bool cpu_has_avx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
}

#endif

struct KernelEntry {
  PassKernel kernel;
  bool (*supported)();
};

bool always() { return true; }

// From the most portable to the fastest.
constexpr KernelEntry kKernels[] = {
    {{"portable", propagation_pass_portable}, always},
#ifdef QUILLFEN_X86_KERNELS
    {{"avx2", propagation_pass_avx2}, cpu_has_avx2_fma},
    {{"avx512", propagation_pass_avx512}, cpu_has_avx512},
#endif
};

// Looked up without allocating: the filter's first pass makes the choice.
const PassKernel& choose_best() {
  const PassKernel* best = &kKernels[0].kernel;
  for (const KernelEntry& entry : kKernels)
    if (entry.supported()) best = &entry.kernel;
  return *best;
}

}  // namespace

std::vector<PassKernel> supported_pass_kernels() {
  std::vector<PassKernel> kernels;
  for (const KernelEntry& entry : kKernels)
    if (entry.supported()) kernels.push_back(entry.kernel);
  return kernels;
}

const PassKernel& best_pass_kernel() {
  static const PassKernel& best = choose_best();
  return best;
}
