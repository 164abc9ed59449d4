// The interchangeable implementations of the propagation pass. Every kernel
// stores the same bytes and returns the same change as
// propagation_pass_reference on every input; they differ only in speed and
// in the instructions they need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "propagation/gaussian_weight_cache.h"
#include "propagation/propagation_pass.h"

// `memo` is the caller's Gaussian weight memo (gaussian_weight_memo_for),
// kept between passes so that a pass allocates nothing; the linear form
// needs none and may be given null.
using PassKernelFunction = int (*)(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                                   GaussianWeightCache* memo);

struct PassKernel {
  const char* name;
  PassKernelFunction run;
  // The exact Gaussian power the kernel's weight table uses
  // (exact_gaussian_powers in exact_gaussian_power.h), for the tests and
  // benchmarks; null for a kernel that takes its weights from the memo.
  std::size_t (*gaussian_powers)(const double* exponents, double* powers, std::size_t count);
};

// Every kernel this CPU can run, the portable one first and the fastest last.
std::vector<PassKernel> supported_pass_kernels();

// The fastest kernel this CPU can run that is not beyond `cap`, the name of
// a kernel (portable, avx2, avx512); no cap when `cap` is null or empty.
// Null when `cap` names no kernel. Allocates nothing.
const PassKernel* pass_kernel_up_to(const char* cap);

// The kernel a filter runs: pass_kernel_up_to the value of the environment
// variable QUILLFEN_CPU, which lets a test or a user hold the filter to a
// slower instruction set.
const PassKernel* chosen_pass_kernel();
inline constexpr const char* kKernelCapVariable = "QUILLFEN_CPU";
inline constexpr const char* kKernelCapError = "Quillfen: QUILLFEN_CPU must be portable, avx2 or avx512.";

// The kernels themselves, one per instruction set; each may be called only
// where supported_pass_kernels() lists it. The x86 ones are built for x86
// targets only.
int propagation_pass_portable(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                              GaussianWeightCache* memo);
int propagation_pass_avx2(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                          GaussianWeightCache* memo);
int propagation_pass_avx512(const PassSettings& settings, const std::uint8_t* current, std::uint8_t* next,
                            GaussianWeightCache* memo);
std::size_t exact_gaussian_powers_avx2(const double* exponents, double* powers, std::size_t count);
std::size_t exact_gaussian_powers_avx512(const double* exponents, double* powers, std::size_t count);
