// The instruction-set levels every family of routines comes in, from the
// plain definition up to the widest vectors, and the one rule that picks a
// routine of a family: the highest level the CPU runs and the QUILLFEN_CPU
// cap allows. A family lists its variants from its reference up; the
// reference defines the family's bytes and every other variant stores the
// same ones.
#pragma once

#include <optional>
#include <span>

namespace quillfen {

// neon sits below the x86 levels: a cap names a level of one family of CPUs
// or another, and holding an x86 CPU to neon leaves it the portable code.
enum class CpuLevel { reference, portable, neon, sse2, ssse3, avx2, avx512 };

inline constexpr const char* kCpuCapVariable = "QUILLFEN_CPU";
inline constexpr const char* kCpuCapError =
    "Quillfen: QUILLFEN_CPU must be reference, portable, neon, sse2, ssse3, avx2 or avx512.";

// The name QUILLFEN_CPU gives the level.
const char* cpu_level_name(CpuLevel level);

// Whether this CPU runs code built for `level`; reference and portable code
// runs everywhere, neon on every 64-bit ARM CPU (Advanced SIMD is part of
// the architecture there), the x86 levels only on x86 CPUs that report
// them.
bool cpu_runs(CpuLevel level);

// The highest level `cap` allows: the level it names, every level when it
// is null or empty, nothing when it names no level. A name is taken on
// every target, also one whose CPUs never run that level.
std::optional<CpuLevel> cpu_cap_named(const char* cap);

// The cap of this process, from the environment variable QUILLFEN_CPU, which
// lets a user or a test hold every routine to a lower level. Read at each
// call: the modules keep no state of their own.
std::optional<CpuLevel> cpu_cap_from_environment();

// Of `variants` (each with a `level`, listed from the reference up), the
// last one the CPU runs within `cap`; the reference when no other is.
template <class Variant>
const Variant& best_variant(std::span<const Variant> variants, CpuLevel cap) {
  const Variant* best = &variants.front();
  for (const Variant& variant : variants)
    if (variant.level <= cap && cpu_runs(variant.level)) best = &variant;
  return *best;
}

}  // namespace quillfen
