// Float images against 16-bit ones: one propagation pass over the same
// 1920x1080 real-looking picture, as 16-bit codes (each sample shifted up,
// the new low bits noise) and as the floats of those codes (Y = code /
// 65535, chroma (code - 32768) / 65535), for every kernel but the
// reference, at radius 1 linear and radius 3 Gaussian. After the runs it
// prints each kernel's float time against its 16-bit time, in CPU time
// measured in this run, with the 2x the float entries are meant to stay
// within.
//
//   build/bench/quillfen_float_bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/recording_reporter.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kFloatTarget = 2.0;

struct Case {
  int radius;
  bool gaussian;
};
constexpr Case kCases[] = {{1, false}, {3, true}};

struct Images {
  std::vector<std::uint16_t> wide;
  std::vector<float> floats;
};

const Images& images() {
  static const Images made = [] {
    Images result;
    const std::vector<std::uint8_t> bytes = synthetic_image(kWidth, kHeight, 2024);
    SyntheticRandom random(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const int code = bytes[i] << 8 | random.below(256);
      result.wide.push_back(static_cast<std::uint16_t>(code));
      result.floats.push_back(static_cast<float>((i % 3 == 0 ? code : code - 32768) / 65535.0));
    }
    return result;
  }();
  return made;
}

std::string bench_name(const Case& c, const char* kernel, bool floats) {
  return std::string(c.gaussian ? "gaussian" : "linear") + "/r" + std::to_string(c.radius) + "/" + kernel +
         (floats ? "/float" : "/16bit");
}

template <class Sample>
void run_pass(benchmark::State& state, PassKernel kernel, Case c, const std::vector<Sample>* image, int bits) {
  std::vector<Sample> next(image->size());
  const PassSettings settings{kWidth, kHeight, c.radius, c.gaussian, bits};
  const std::unique_ptr<GaussianWeightCache> memo = gaussian_weight_memo_for(c.gaussian);
  const std::unique_ptr<PassWorkspace> workspace = make_pass_workspace();
  for (auto _ : state) {
    benchmark::DoNotOptimize(run_pass_kernel(kernel, settings, image->data(), next.data(), memo.get(), *workspace));
    benchmark::ClobberMemory();
  }
}

int run_program(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<PassKernel> kernels;
  for (const PassKernel& kernel : supported_pass_kernels())
    if (kernel.level != CpuLevel::reference) kernels.push_back(kernel);
  for (const Case& c : kCases)
    for (const PassKernel& kernel : kernels) {
      benchmark::RegisterBenchmark(bench_name(c, kernel.name, false).c_str(), run_pass<std::uint16_t>, kernel, c,
                                   &images().wide, 16)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(bench_name(c, kernel.name, true).c_str(), run_pass<float>, kernel, c,
                                   &images().floats, kFloatBits)
          ->Unit(benchmark::kMillisecond);
    }
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\n%-20s %-9s %10s %10s %6s %6s\n", "form", "kernel", "16-bit ms", "float ms", "ratio", "target");
  for (const Case& c : kCases)
    for (const PassKernel& kernel : kernels) {
      const auto wide = reporter.seconds.find(bench_name(c, kernel.name, false));
      const auto floats = reporter.seconds.find(bench_name(c, kernel.name, true));
      if (wide == reporter.seconds.end() || floats == reporter.seconds.end()) continue;
      std::printf("%-20s %-9s %10.1f %10.1f %5.2fx %5.1fx\n",
                  (std::string(c.gaussian ? "gaussian" : "linear") + " r" + std::to_string(c.radius)).c_str(),
                  kernel.name, wide->second * 1e3, floats->second * 1e3, floats->second / wide->second, kFloatTarget);
    }
  return 0;
}

}  // namespace

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }
