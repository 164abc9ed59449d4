// Runs a program to its end, as a test drives a command or a host.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillfen {

struct ProcessOutcome {
  int status;  // the exit status; -1 when the program died of a signal
  std::string errors;
};

// Runs `arguments` (the program's path first) with standard output written
// to `output_file`, or discarded when it is empty, and standard error
// returned. `environment` holds NAME=VALUE entries set on top of the
// test's own environment.
ProcessOutcome run_process(const std::vector<std::string>& arguments, const std::filesystem::path& output_file = {},
                           const std::vector<std::string>& environment = {});

}  // namespace quillfen
