// Opening the command's input and output, "-" standing for standard input
// and output, and the places of files that come with the executable.
#pragma once

#include <string>

namespace quillfen::cli {

// A descriptor the command opened, closed when the object goes; standard
// input and output are borrowed and left open.
class StreamFile {
 public:
  StreamFile(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~StreamFile();
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;
  int fd() const { return fd_; }
  bool owned() const { return owned_; }

 private:
  int fd_;
  bool owned_;
};

// Throws CommandError naming the path when it cannot be opened.
StreamFile open_input(const std::string& path);

// Refuses (CommandError) an output that is the same file as the open input,
// before anything is written to it; then creates or truncates it.
// `role` names the file in messages.
StreamFile open_output(const std::string& path, const StreamFile& input, const std::string& role = "OUTPUT");

// The same, but an existing file keeps its bytes until empty_output: emptying
// a large file that the system is still writing to disk can take several
// milliseconds, which the caller can spend on other work meanwhile.
StreamFile open_output_to_empty(const std::string& path, const StreamFile& input);
// Empties an output file that open_output_to_empty opened; a standard stream,
// pipe or device is left as it is.
void empty_output(const StreamFile& output, const std::string& path);

}  // namespace quillfen::cli
