// The quillfen command once its arguments are parsed.
#pragma once

#include "cli/command_line.h"

namespace quillfen::cli {

// Runs the command; returns its exit status. Throws CommandError with the
// one line to print for any failure.
int run_command(const CommandOptions& options);

}  // namespace quillfen::cli
