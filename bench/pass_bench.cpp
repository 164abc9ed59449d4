// One propagation pass over a 1920x1080 real-looking frame (shaded
// background, textured and flat objects with hard edges, sensor noise), for
// the reference and every kernel this CPU supports, both forms, radius 1, 2,
// 3, 4, 5 and 8. After the runs it prints each kernel's speed-up over the
// reference in CPU time, both measured in this run on the same frame.
// Gaussian runs of byte images show in `bounded %` the share of the
// kernel's runs of centres that its bounded weights decided
// (docs/performance.md), the rest having taken the exact weights.
//
// Every kernel but the reference also runs its wide entry on the frame
// raised to 10 and 16 bits (each sample shifted up, the new low bits
// noise, as footage of that depth has), and a second table gives each
// depth's time per frame against the same kernel's at 8 bits.
//
// It also times the Gaussian weights alone, over the exponents a Gaussian
// pass forms on the frame (one per centre and distinct luma difference):
// each kernel's power (its fast form, the precise form serving what that
// leaves undecided), with in `undecided %` the share of the exponents left
// to the precise form; the precise form alone, for its cost per call; and,
// as the one outside measure of speed, the C library's pow, which the filter
// does not use (`library-pow`).
//
// --frame=FILE takes the frame from the first frame of an 8-bit 4:4:4 Y4M
// file instead, e.g. real footage:
//   ffmpeg -i in.mp4 -frames:v 1 -pix_fmt yuv444p -f yuv4mpegpipe frame.y4m
//
//   build-bench/bench/quillfen_pass_bench [--frame=FILE] [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "propagation/exact_gaussian_power.h"
#include "propagation/gaussian_power_precise.h"
#include "bench/recording_reporter.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "propagation/reference_pass.h"
#include "tests/support/synthetic_image.h"

namespace quillfen {

namespace {

constexpr int kRadii[] = {1, 2, 3, 4, 5, 8};
// Radii whose Gaussian weights come from the weight table, one power per
// centre and distinct luma difference.
constexpr int kPowerRadii[] = {2, 3, 8};
// Speed-up over the reference that each form is meant to reach.
constexpr double kLinearTarget = 10.0;
constexpr double kGaussianTarget = 6.0;

// The depths the wide entries run at, and the cost over 8 bits each form
// is meant to stay within.
constexpr int kWideDepths[] = {10, 16};
constexpr double kLinearWideTarget = 1.5;
constexpr double kGaussianWideTarget = 2.0;

struct Frame {
  int width = 1920;
  int height = 1080;
  std::vector<BYTE> image;  // PackedYuv444
};

Frame& frame() {
  static Frame frame;
  return frame;
}

// The frame raised to `bits`, as a PackedYuv444Wide.
const std::vector<std::uint16_t>& wide_frame(int bits) {
  static std::map<int, std::vector<std::uint16_t>> images;
  std::vector<std::uint16_t>& image = images[bits];
  if (!image.empty()) return image;
  SyntheticRandom random(static_cast<std::uint32_t>(bits));
  for (const BYTE sample : frame().image)
    image.push_back(static_cast<std::uint16_t>(sample << (bits - 8) | random.below(1 << (bits - 8))));
  return image;
}

// The first frame of an 8-bit 4:4:4 Y4M file, interleaved; false when the
// file is not one.
bool read_y4m_frame(const char* path, Frame& into) {
  std::ifstream file(path, std::ios::binary);
  std::string header, frame_line;
  if (!std::getline(file, header) || header.rfind("YUV4MPEG2 ", 0) != 0 || !std::getline(file, frame_line) ||
      frame_line.rfind("FRAME", 0) != 0)
    return false;
  int width = 0, height = 0;
  std::string colour = "420jpeg";
  for (std::size_t at = header.find(' '); at != std::string::npos; at = header.find(' ', at + 1)) {
    const std::string field = header.substr(at + 1, header.find(' ', at + 1) - at - 1);
    if (field[0] == 'W') width = std::atoi(field.c_str() + 1);
    if (field[0] == 'H') height = std::atoi(field.c_str() + 1);
    if (field[0] == 'C') colour = field.substr(1);
  }
  if (width < 1 || height < 1 || colour.rfind("444", 0) != 0 || colour.find('p') != std::string::npos) return false;
  const std::size_t plane = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<char> planes(3 * plane);
  if (!file.read(planes.data(), static_cast<std::streamsize>(planes.size()))) return false;
  into.width = width;
  into.height = height;
  into.image.resize(3 * plane);
  for (std::size_t i = 0; i < plane; ++i)
    for (std::size_t c = 0; c < 3; ++c) into.image[3 * i + c] = static_cast<BYTE>(planes[c * plane + i]);
  return true;
}

// The exponents of the Gaussian weights a pass of `radius` asks for on the
// frame, one per centre and distinct nonzero luma difference, centres of
// zero variance left out (their weights are all 1).
const std::vector<double>& pass_exponents(int radius) {
  static std::map<int, std::vector<double>> lists;
  std::vector<double>& exponents = lists[radius];
  if (!exponents.empty()) return exponents;
  const Frame& f = frame();
  const PassSettings settings{f.width, f.height, radius, true};
  const std::size_t pitch = 3 * static_cast<std::size_t>(f.width);
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      const double variance = sample_luma_statistics(settings, f.image.data(), x, y).variance;
      if (variance == 0.0) continue;
      const int centre = f.image[y * pitch + 3 * static_cast<std::size_t>(x)];
      bool met[256] = {};
      for_each_sample(settings, f.image.data(), x, y, [&](const BYTE* row, int column) {
        met[std::abs(centre - row[3 * column])] = true;
      });
      const ScalarLanes::Divisor by = gaussian_exponent_divisor<ScalarLanes>(variance);
      for (int d = 1; d < 256; ++d)
        if (met[d]) exponents.push_back(gaussian_exponent<ScalarLanes>(d, by));
    }
  return exponents;
}

// A form of the weight over `count` exponents; returns how many of them the
// precise form served, or 0 where that does not apply.
using PowersFunction = std::size_t (*)(const double* exponents, double* powers, std::size_t count);

std::size_t precise_powers(const double* exponents, double* powers, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) powers[i] = precise_gaussian_power(exponents[i]);
  return 0;
}

// Not a form of the filter's: the measure of what a general-purpose power
// costs.
std::size_t library_powers(const double* exponents, double* powers, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) powers[i] = std::pow(kGaussianBase, exponents[i]);
  return 0;
}

// The kernels ask for at most a register of centres' worth of powers at a
// time, from lists in the first-level cache. So the powers are timed in
// calls of that size over a sample of the frame's list, calls spread evenly
// over it, that stays in the second-level cache: over the whole list the
// memory would be timed instead. How many the fast form leaves undecided is
// counted over the whole list.
constexpr std::size_t kPowersPerCall = 2048;
constexpr std::size_t kSampledCalls = 64;

void run_powers(benchmark::State& state, PowersFunction powers, int radius, bool counts_undecided) {
  const std::vector<double>& exponents = pass_exponents(radius);
  std::vector<double> weights(kPowersPerCall);
  std::size_t undecided = 0;
  if (counts_undecided)
    for (std::size_t at = 0; at < exponents.size(); at += kPowersPerCall)
      undecided += powers(exponents.data() + at, weights.data(), std::min(kPowersPerCall, exponents.size() - at));
  std::vector<double> sample;
  const std::size_t calls = exponents.size() / kPowersPerCall;
  for (std::size_t call = 0; call < calls; call += std::max<std::size_t>(1, calls / kSampledCalls))
    sample.insert(sample.end(), exponents.begin() + static_cast<std::ptrdiff_t>(call * kPowersPerCall),
                  exponents.begin() + static_cast<std::ptrdiff_t>((call + 1) * kPowersPerCall));
  for (auto _ : state) {
    for (std::size_t at = 0; at < sample.size(); at += kPowersPerCall)
      powers(sample.data() + at, weights.data(), kPowersPerCall);
    benchmark::ClobberMemory();
  }
  state.counters["ns/power"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(sample.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (counts_undecided)
    state.counters["undecided %"] = 100.0 * static_cast<double>(undecided) / static_cast<double>(exponents.size());
}

std::string bench_name(bool gaussian, int radius, const char* kernel, int bits = 8) {
  return std::string(gaussian ? "gaussian" : "linear") + "/r" + std::to_string(radius) + "/" + kernel +
         (bits == 8 ? "" : "/" + std::to_string(bits) + "bit");
}

template <class Sample>
void run_pass(benchmark::State& state, PassKernel kernel, int radius, bool gaussian, const std::vector<Sample>* image,
              int bits) {
  const std::vector<Sample>& current = *image;
  std::vector<Sample> next(current.size());
  const PassSettings settings{frame().width, frame().height, radius, gaussian, bits};
  const std::unique_ptr<GaussianWeightCache> memo = gaussian_weight_memo_for(gaussian);
  const std::unique_ptr<PassWorkspace> workspace = make_pass_workspace();
  for (auto _ : state) {
    benchmark::DoNotOptimize(run_pass_kernel(kernel, settings, current.data(), next.data(), memo.get(), *workspace));
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  const GaussianRunCounts& runs = workspace->gaussian_runs;
  if (runs.bounded + runs.exact != 0)
    state.counters["bounded %"] =
        100.0 * static_cast<double>(runs.bounded) / static_cast<double>(runs.bounded + runs.exact);
}

void print_ratios(const std::map<std::string, double>& seconds, const std::vector<PassKernel>& kernels) {
  std::printf("\nSpeed-up over the reference in CPU time, one thread, %dx%d, same frame, same run\n",
              frame().width, frame().height);
  std::printf("%-9s %6s %14s", "form", "radius", "reference ms");
  for (const PassKernel& kernel : kernels)
    if (kernel.level != CpuLevel::reference) std::printf(" %10s ms %7s", kernel.name, "ratio");
  std::printf("  target\n");
  for (const bool gaussian : {false, true}) {
    for (const int radius : kRadii) {
      const auto reference = seconds.find(bench_name(gaussian, radius, "reference"));
      if (reference == seconds.end()) continue;
      std::printf("%-9s %6d %14.1f", gaussian ? "gaussian" : "linear", radius, reference->second * 1e3);
      for (const PassKernel& kernel : kernels) {
        if (kernel.level == CpuLevel::reference) continue;
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

void print_depth_ratios(const std::map<std::string, double>& seconds, const std::vector<PassKernel>& kernels) {
  std::printf("\nTime per frame at each depth against 8 bits, same kernel, CPU time, one thread, same run\n");
  std::printf("%-9s %6s %10s %10s", "form", "radius", "kernel", "8-bit ms");
  for (const int bits : kWideDepths) std::printf(" %7d-bit ms %6s", bits, "ratio");
  std::printf("  target\n");
  for (const bool gaussian : {false, true})
    for (const int radius : kRadii)
      for (const PassKernel& kernel : kernels) {
        const auto byte = seconds.find(bench_name(gaussian, radius, kernel.name));
        if (kernel.level == CpuLevel::reference || byte == seconds.end()) continue;
        std::printf("%-9s %6d %10s %10.1f", gaussian ? "gaussian" : "linear", radius, kernel.name, byte->second * 1e3);
        for (const int bits : kWideDepths) {
          const auto wide = seconds.find(bench_name(gaussian, radius, kernel.name, bits));
          if (wide == seconds.end())
            std::printf(" %14s %6s", "-", "-");
          else
            std::printf(" %14.1f %5.2fx", wide->second * 1e3, wide->second / byte->second);
        }
        std::printf("  %.1fx\n", gaussian ? kGaussianWideTarget : kLinearWideTarget);
      }
}

}  // namespace

int run_program(int argc, char** argv) {
  // --frame=FILE is ours; everything else goes to the benchmark library.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--frame=", 0) != 0) {
      argv[kept++] = argv[i];
    } else if (!read_y4m_frame(argument.c_str() + 8, frame())) {
      std::fprintf(stderr, "%s is not an 8-bit 4:4:4 Y4M file\n", argument.c_str() + 8);
      return 1;
    }
  }
  argc = kept;
  if (frame().image.empty()) frame().image = synthetic_image(frame().width, frame().height, 2024);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::vector<PassKernel> kernels = supported_pass_kernels();
  for (const bool gaussian : {false, true}) {
    for (const int radius : kRadii) {
      for (const PassKernel& kernel : kernels) {
        benchmark::internal::Benchmark* pass =
            benchmark::RegisterBenchmark(bench_name(gaussian, radius, kernel.name).c_str(), run_pass<BYTE>, kernel,
                                         radius, gaussian, &frame().image, 8)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        // The reference takes up to several seconds per frame: a single
        // long iteration is already a stable measurement.
        if (kernel.level == CpuLevel::reference) {
          pass->MinTime(1.0);
          continue;
        }
        for (const int bits : kWideDepths)
          benchmark::RegisterBenchmark(bench_name(gaussian, radius, kernel.name, bits).c_str(),
                                       run_pass<std::uint16_t>, kernel, radius, gaussian, &wide_frame(bits), bits)
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
      }
    }
  }

  // In CPU time, which ns/power then divides.
  for (const int radius : kPowerRadii) {
    const std::string prefix = "powers/r" + std::to_string(radius) + "/";
    benchmark::RegisterBenchmark((prefix + "library-pow").c_str(), run_powers, library_powers, radius, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((prefix + "precise").c_str(), run_powers, precise_powers, radius, false)
        ->Unit(benchmark::kMicrosecond);
    for (const PassKernel& kernel : kernels)
      if (kernel.gaussian_powers != nullptr)
        benchmark::RegisterBenchmark((prefix + kernel.name).c_str(), run_powers, kernel.gaussian_powers, radius,
                                     true)
            ->Unit(benchmark::kMicrosecond);
  }

  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("best kernel on this CPU: %s\n", kernels.back().name);
  print_ratios(reporter.seconds, kernels);
  print_depth_ratios(reporter.seconds, kernels);
  return 0;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }
