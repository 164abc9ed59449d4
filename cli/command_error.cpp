#include "cli/command_error.h"

#include <exception>
#include <new>

#include "y4m/y4m_error.h"

namespace quillfen::cli {
namespace {

std::string with_command_name(const char* message) {
  std::string line = "quillfen: ";
  line += message;
  return line;
}

}  // namespace

std::string current_exception_line() {
  try {
    throw;
  } catch (const CommandError& error) {
    return error.what();
  } catch (const y4m::Y4mError& error) {
    return with_command_name(error.what());
  } catch (const std::bad_alloc&) {
    return "quillfen: out of memory";
  } catch (const std::exception& error) {
    return with_command_name(error.what());
  } catch (...) {
    return "quillfen: unknown failure";
  }
}

std::string printable_line(std::string line) {
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return line;
}

}  // namespace quillfen::cli
