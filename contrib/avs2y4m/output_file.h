// Where the Y4M goes: standard output for "-", a pipe or device as it is,
// and a file through a temporary file beside it that takes OUTPUT's name only
// once every frame is written, so that a failure or a stop never leaves a
// partial OUTPUT (an earlier OUTPUT stays as it was).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <string>

namespace quillfen::avs2y4m {

// The reader of a pipe has gone: it has all it wanted.
struct OutputClosed {};

class OutputFile {
 public:
  // Throws CommandError when OUTPUT cannot be written.
  explicit OutputFile(const std::string& path);
  // Removes the temporary file unless committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws OutputClosed when a pipe's reader has gone, CommandError for any
  // other failure.
  void write(const void* data, std::size_t size);
  // Gives the written file OUTPUT's name.
  void commit();
  // True when OUTPUT appears only on commit.
  bool whole_or_nothing() const { return !temporary_.empty(); }
  // Removes the partial file now, while it is still open (for a stop that
  // ends the process at once); true when there was one.
  bool remove_partial() const { return !temporary_.empty() && unlink(temporary_.c_str()) == 0; }

 private:
  [[noreturn]] void fail(const std::string& what) const;

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  bool owned_ = false;  // standard output stays open
};

}  // namespace quillfen::avs2y4m
