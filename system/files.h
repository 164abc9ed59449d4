// Files by descriptor, as the command and the Y4M streams use them: opened
// in binary, never inherited by other programs, and never given the numbers
// of the standard streams (a caller that closed its standard output must not
// have "-" write into the command's own file). Every call reports a failure
// as the POSIX calls do, -1 or false with errno set, so that the caller
// names the reason with strerror.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quillfen::system {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

int open_for_reading(const std::string& path);
// Created, with the permissions any new file gets, when it does not exist;
// emptied first when `truncate`.
int open_for_writing(const std::string& path, bool truncate);
int close_file(int fd);
// Whether `fd` is an open descriptor.
bool is_open(int fd);

// As read(2) and write(2): the bytes moved, 0 from read at the end, -1 with
// errno (EINTR to try again, EPIPE when the reader of a pipe has gone).
long long read_some(int fd, void* buffer, std::size_t count);
long long write_some(int fd, const void* data, std::size_t count);
// Reads at `offset` and leaves the descriptor's position where it was.
long long read_at(int fd, void* buffer, std::size_t count, long long offset);

long long file_position(int fd);
// Moves the position `count` bytes on; false with errno when it cannot.
bool move_position(int fd, long long count);
bool truncate_file(int fd, long long size);
// Waits until the file's bytes are on the disk.
bool flush_to_disk(int fd);

// What the command needs to know of an open file or a path: whether it is a
// regular file (not a pipe, terminal or device), its size, and which file it
// is, to tell whether two names reach the same file (on Windows only files
// on a disk have an identity; anything else has device and file 0).
struct FileStatus {
  bool regular = false;
  long long size = 0;
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  // Something that is no file on a disk (a pipe, a console, NUL on Windows)
  // has no identity, device and file 0, and is the same as nothing.
  bool same_file_as(const FileStatus& other) const {
    return (device != 0 || file != 0) && device == other.device && file == other.file;
  }
};
bool file_status(int fd, FileStatus& status);
bool file_status(const std::string& path, FileStatus& status);

// Renames `from` to `to`, replacing a file `to` in one step.
bool replace_file(const std::string& from, const std::string& to);
bool remove_file(const std::string& path);

// A stdio stream of its own over a copy of `fd`, which stays open; null with
// errno when it cannot be made.
std::FILE* stream_on_copy(int fd);

}  // namespace quillfen::system
