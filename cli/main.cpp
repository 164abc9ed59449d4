// quillfen: filters Y4M video through the Quillfen plugin.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/command_error.h"
#include "cli/command_line.h"

int main(int argc, char** argv) {
  using namespace quillfen::cli;
  try {
    const CommandOptions options = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    return run_command(options);
  } catch (const CommandError& error) {
    std::fprintf(stderr, "%s\n", printable_line(error.what()).c_str());
    return error.status();
  } catch (...) {
    std::fprintf(stderr, "%s\n", printable_line(current_exception_line()).c_str());
    return kExitFailure;
  }
}
