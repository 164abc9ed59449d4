// The interchangeable implementations of the propagation pass, one per CPU
// level (cpu/cpu_level.h). The reference is propagation_pass_reference
// itself; every other kernel stores the same samples and returns the same
// change on every input, and differs only in speed and in the instructions
// it needs. Every kernel has an entry for byte images (8-bit clips), one
// for wide images of std::uint16_t samples (9 to 16 bits) and one for float
// images (float_lane_kernel.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cpu/cpu_level.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/pass_workspace.h"
#include "propagation/propagation_pass.h"

namespace quillfen {

// `memo` is the caller's Gaussian weight memo (gaussian_weight_memo_for)
// and `workspace` its kernel working memory (make_pass_workspace), both
// kept between passes so that a pass allocates nothing and keeps no table
// on the stack; the linear form needs no memo and may be given null.
using PassKernelFunction = int (*)(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                                   GaussianWeightCache* memo, PassWorkspace& workspace);
using WidePassKernelFunction = int (*)(const PassSettings& settings, const std::uint16_t* current,
                                       std::uint16_t* next, GaussianWeightCache* memo, PassWorkspace& workspace);
using FloatPassKernelFunction = double (*)(const PassSettings& settings, const float* current, float* next,
                                           GaussianWeightCache* memo, PassWorkspace& workspace);

struct PassKernel {
  CpuLevel level;
  const char* name;  // the level's name, by which QUILLFEN_CPU caps the choice
  PassKernelFunction run;
  WidePassKernelFunction run_wide;
  // The exact Gaussian power the kernel's weight table uses
  // (exact_gaussian_powers in exact_gaussian_power.h), for the tests and
  // benchmarks; null for a kernel that takes its weights from the memo.
  std::size_t (*gaussian_powers)(const double* exponents, double* powers, std::size_t count);
  FloatPassKernelFunction run_float;
};

// The kernel's entry for the image's sample type.
inline int run_pass_kernel(const PassKernel& kernel, const PassSettings& settings, const std::uint8_t* current,
                           std::uint8_t* next, GaussianWeightCache* memo, PassWorkspace& workspace) {
  return kernel.run(settings, current, next, memo, workspace);
}
inline int run_pass_kernel(const PassKernel& kernel, const PassSettings& settings, const std::uint16_t* current,
                           std::uint16_t* next, GaussianWeightCache* memo, PassWorkspace& workspace) {
  return kernel.run_wide(settings, current, next, memo, workspace);
}
inline double run_pass_kernel(const PassKernel& kernel, const PassSettings& settings, const float* current,
                              float* next, GaussianWeightCache* memo, PassWorkspace& workspace) {
  return kernel.run_float(settings, current, next, memo, workspace);
}

// Every kernel this CPU runs, from the reference up to the fastest.
std::vector<PassKernel> supported_pass_kernels();

// The bounded Gaussian power with which the kernel decides most of its
// stored values (bounded_gaussian_power.h), for the tests and benchmarks;
// null for a kernel without it.
using BoundedGaussianPowers = void (*)(const double* exponents, double* powers, std::size_t count);
BoundedGaussianPowers bounded_gaussian_powers_of(const PassKernel& kernel);

// The kernel a filter runs: the fastest this CPU runs within the cap of
// QUILLFEN_CPU (cpu_cap_from_environment), which lets a user or a test hold
// the filter to a lower level, down to the reference. Null when the cap
// names no level. Allocates nothing.
const PassKernel* chosen_pass_kernel();

// The kernels besides the reference, one per level; each may be called only
// where supported_pass_kernels() lists it. The x86 ones are built for x86
// targets only, the NEON one for aarch64 targets only.
int propagation_pass_portable(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                              GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_portable(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                              GaussianWeightCache* memo, PassWorkspace& workspace);
double propagation_pass_portable(const PassSettings& settings, const float* current, float* next,
                                 GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_neon(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_neon(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace);
double propagation_pass_neon(const PassSettings& settings, const float* current, float* next,
                             GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_avx2(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_avx2(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                          GaussianWeightCache* memo, PassWorkspace& workspace);
double propagation_pass_avx2(const PassSettings& settings, const float* current, float* next,
                             GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_avx512(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                            GaussianWeightCache* memo, PassWorkspace& workspace);
int propagation_pass_avx512(const PassSettings& settings, const std::uint16_t* current, std::uint16_t* next,
                            GaussianWeightCache* memo, PassWorkspace& workspace);
double propagation_pass_avx512(const PassSettings& settings, const float* current, float* next,
                               GaussianWeightCache* memo, PassWorkspace& workspace);
std::size_t exact_gaussian_powers_avx2(const double* exponents, double* powers, std::size_t count);
std::size_t exact_gaussian_powers_avx512(const double* exponents, double* powers, std::size_t count);
void bounded_gaussian_powers_avx2(const double* exponents, double* powers, std::size_t count);
void bounded_gaussian_powers_avx512(const double* exponents, double* powers, std::size_t count);

}  // namespace quillfen
