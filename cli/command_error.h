// How the command ends on a failure: one line for stderr and an exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace quillfen::cli {

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitInterrupted = 130 };

// A failure whose line is complete as it stands.
class CommandError : public std::runtime_error {
 public:
  CommandError(const std::string& line, int status = kExitFailure)
      : std::runtime_error(line), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// The line for the exception being handled: a CommandError's as it is,
// everything else prefixed with the command's name. Call only from a catch
// block.
std::string current_exception_line();

// `line` as printed: control characters that a path, an argument or the
// input put into it (a newline above all) become '?', so that it stays one line.
std::string printable_line(std::string line);

}  // namespace quillfen::cli
