#include "cpu/cpu_level.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace quillfen {

namespace {

constexpr const char* kLevelNames[] = {"reference", "portable", "neon", "sse2", "ssse3", "avx2", "avx512"};

}  // namespace

const char* cpu_level_name(CpuLevel level) { return kLevelNames[static_cast<int>(level)]; }

bool cpu_runs(CpuLevel level) {
  switch (level) {
    case CpuLevel::reference:
    case CpuLevel::portable:
      return true;
#if defined(__aarch64__)
    case CpuLevel::neon:
      return true;
#endif
#if defined(__x86_64__) || defined(__i386__)
    case CpuLevel::sse2:
      return __builtin_cpu_supports("sse2");
    case CpuLevel::ssse3:
      return __builtin_cpu_supports("ssse3");
    case CpuLevel::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case CpuLevel::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#endif
    default:
      return false;
  }
}

std::optional<CpuLevel> cpu_cap_named(const char* cap) {
  if (cap == nullptr || *cap == '\0') return CpuLevel::avx512;
  for (int i = 0; i < static_cast<int>(std::size(kLevelNames)); ++i)
    if (std::strcmp(cap, kLevelNames[i]) == 0) return static_cast<CpuLevel>(i);
  return std::nullopt;
}

std::optional<CpuLevel> cpu_cap_from_environment() { return cpu_cap_named(std::getenv(kCpuCapVariable)); }

}  // namespace quillfen
