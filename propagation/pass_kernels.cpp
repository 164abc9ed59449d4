#include "propagation/pass_kernels.h"

#include <span>

namespace quillfen {

namespace {

// The reference pass in the kernels' form: it needs no memo and no
// workspace.
template <class Sample>
auto reference_kernel(const PassSettings& settings, const Sample* current, Sample* next, GaussianWeightCache*,
                      PassWorkspace&) {
  return propagation_pass_reference(settings, current, next);
}

// From the reference up, as best_variant takes them; each kernel's three
// entries are its overloads for bytes, wide samples and floats.
constexpr PassKernel kKernels[] = {
    {CpuLevel::reference, "reference", reference_kernel<std::uint8_t>, reference_kernel<std::uint16_t>, nullptr,
     reference_kernel<float>},
    {CpuLevel::portable, "portable", propagation_pass_portable, propagation_pass_portable, nullptr,
     propagation_pass_portable},
#ifdef QUILLFEN_ARM64_KERNELS
    {CpuLevel::neon, "neon", propagation_pass_neon, propagation_pass_neon, nullptr, propagation_pass_neon},
#endif
#ifdef QUILLFEN_X86_KERNELS
    {CpuLevel::avx2, "avx2", propagation_pass_avx2, propagation_pass_avx2, exact_gaussian_powers_avx2,
     propagation_pass_avx2},
    {CpuLevel::avx512, "avx512", propagation_pass_avx512, propagation_pass_avx512,
     exact_gaussian_powers_avx512, propagation_pass_avx512},
#endif
};

}  // namespace

std::vector<PassKernel> supported_pass_kernels() {
  std::vector<PassKernel> kernels;
  for (const PassKernel& kernel : kKernels)
    if (cpu_runs(kernel.level)) kernels.push_back(kernel);
  return kernels;
}

BoundedGaussianPowers bounded_gaussian_powers_of(const PassKernel& kernel) {
#ifdef QUILLFEN_X86_KERNELS
  if (kernel.level == CpuLevel::avx2) return bounded_gaussian_powers_avx2;
  if (kernel.level == CpuLevel::avx512) return bounded_gaussian_powers_avx512;
#endif
  static_cast<void>(kernel);
  return nullptr;
}

const PassKernel* chosen_pass_kernel() {
  const std::optional<CpuLevel> cap = cpu_cap_from_environment();
  if (!cap) return nullptr;
  return &best_variant(std::span<const PassKernel>(kKernels), *cap);
}

}  // namespace quillfen
