// One propagation pass over a 1920x1080 real-looking frame (shaded
// background, textured and flat objects with hard edges, sensor noise), for
// the reference and every kernel this CPU supports, both forms, radius 1, 2,
// 3, 4 and 8. After the runs it prints each kernel's speed-up over the
// reference, both measured in this run on the same frame.
//
//   build-bench/bench/quillfen_pass_bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "tests/support/synthetic_image.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kRadii[] = {1, 2, 3, 4, 8};
// Speed-up over the reference that each form is meant to reach.
constexpr double kLinearTarget = 10.0;
constexpr double kGaussianTarget = 6.0;

const std::vector<BYTE>& frame() {
  static const std::vector<BYTE> image = synthetic_image(kWidth, kHeight, 2024);
  return image;
}

std::string bench_name(bool gaussian, int radius, const char* kernel) {
  return std::string(gaussian ? "gaussian" : "linear") + "/r" + std::to_string(radius) + "/" + kernel;
}

void run_pass(benchmark::State& state, PassKernel kernel, int radius, bool gaussian) {
  const std::vector<BYTE>& current = frame();
  std::vector<BYTE> next(current.size());
  const PassSettings settings{kWidth, kHeight, radius, gaussian};
  const std::unique_ptr<GaussianWeightCache> memo = gaussian_weight_memo_for(gaussian);
  for (auto _ : state) {
    benchmark::DoNotOptimize(kernel.run(settings, current.data(), next.data(), memo.get()));
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Shows every run as usual and keeps its time per frame for the ratios.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration) seconds[run.run_name.function_name] = run.real_accumulated_time / run.iterations;
  }
  std::map<std::string, double> seconds;
};

void print_ratios(const std::map<std::string, double>& seconds, const std::vector<PassKernel>& kernels) {
  std::printf("\nSpeed-up over the reference, one thread, %dx%d, same frame, same run\n", kWidth, kHeight);
  std::printf("%-9s %6s %14s", "form", "radius", "reference ms");
  for (const PassKernel& kernel : kernels) std::printf(" %10s ms %7s", kernel.name, "ratio");
  std::printf("  target\n");
  for (const bool gaussian : {false, true}) {
    for (const int radius : kRadii) {
      const auto reference = seconds.find(bench_name(gaussian, radius, "reference"));
      if (reference == seconds.end()) continue;
      std::printf("%-9s %6d %14.1f", gaussian ? "gaussian" : "linear", radius, reference->second * 1e3);
      for (const PassKernel& kernel : kernels) {
        const auto found = seconds.find(bench_name(gaussian, radius, kernel.name));
        if (found == seconds.end()) {
          std::printf(" %13s %7s", "-", "-");
        } else {
          std::printf(" %13.1f %6.1fx", found->second * 1e3, reference->second / found->second);
        }
      }
      std::printf("  %.0fx\n", gaussian ? kGaussianTarget : kLinearTarget);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::vector<PassKernel> kernels = supported_pass_kernels();
  for (const bool gaussian : {false, true}) {
    for (const int radius : kRadii) {
      // The reference takes up to several seconds per frame: a single
      // long iteration is already a stable measurement.
      benchmark::RegisterBenchmark(bench_name(gaussian, radius, "reference").c_str(), run_pass,
                                   PassKernel{"reference",
                                              [](const PassSettings& settings, const BYTE* current, BYTE* next,
                                                 GaussianWeightCache*) {
                                                return propagation_pass_reference(settings, current, next);
                                              }}, radius, gaussian)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(1.0);
      for (const PassKernel& kernel : kernels)
        benchmark::RegisterBenchmark(bench_name(gaussian, radius, kernel.name).c_str(), run_pass, kernel, radius,
                                     gaussian)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
  }

  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("best kernel on this CPU: %s\n", kernels.back().name);
  print_ratios(reporter.seconds, kernels);
  return 0;
}
