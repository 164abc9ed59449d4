#include "propagation/pass_kernels.h"

#include <cstdlib>
#include <cstring>

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

// From the most portable to the fastest. A cap names one of them, also on
// a target that does not build it, where it caps nothing further.
constexpr KernelEntry kKernels[] = {
    {{"portable", propagation_pass_portable, nullptr}, always},
#ifdef QUILLFEN_X86_KERNELS
    {{"avx2", propagation_pass_avx2, exact_gaussian_powers_avx2}, cpu_has_avx2_fma},
    {{"avx512", propagation_pass_avx512, exact_gaussian_powers_avx512}, cpu_has_avx512},
#endif
};
constexpr const char* kKernelNames[] = {"portable", "avx2", "avx512"};

}  // namespace

std::vector<PassKernel> supported_pass_kernels() {
  std::vector<PassKernel> kernels;
  for (const KernelEntry& entry : kKernels)
    if (entry.supported()) kernels.push_back(entry.kernel);
  return kernels;
}

const PassKernel* pass_kernel_up_to(const char* cap) {
  int last = static_cast<int>(std::size(kKernels)) - 1;
  if (cap != nullptr && *cap != '\0') {
    int named = -1;
    for (int i = 0; i < static_cast<int>(std::size(kKernelNames)); ++i)
      if (std::strcmp(cap, kKernelNames[i]) == 0) named = i;
    if (named < 0) return nullptr;
    if (named < last) last = named;
  }
  const PassKernel* best = &kKernels[0].kernel;
  for (int i = 1; i <= last; ++i)
    if (kKernels[i].supported()) best = &kKernels[i].kernel;
  return best;
}

const PassKernel* chosen_pass_kernel() { return pass_kernel_up_to(std::getenv(kKernelCapVariable)); }
