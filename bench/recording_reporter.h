// Shows every benchmark run as usual and keeps its time per frame for the
// ratios a benchmark prints after its table: the thread's CPU time, which
// moves far less than the wall time when other work shares the machine's
// cores.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace quillfen {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration)
        seconds[run.run_name.function_name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
  }
  std::map<std::string, double> seconds;
};

}  // namespace quillfen
