#include "y4m/y4m_writer.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "system/files.h"
#include "y4m/y4m_error.h"

namespace quillfen::y4m {
namespace {

constexpr std::string_view kFrameLine = "FRAME\n";
static_assert(kFrameLine.size() == Y4mWriter::kRecordPlanesOffset);

}  // namespace

Y4mWriter::Y4mWriter(int fd, const Y4mHeader& header) : fd_(fd), header_(header) {}

void Y4mWriter::write_header() {
  const std::string line = format_y4m_header(header_);
  write_all(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
}

std::size_t Y4mWriter::record_bytes() const { return kFrameLine.size() + y4m_frame_bytes(header_); }

std::uint8_t* Y4mWriter::start_record(std::uint8_t* record) const {
  std::memcpy(record, kFrameLine.data(), kFrameLine.size());
  return record + kFrameLine.size();
}

void Y4mWriter::write_record(const std::uint8_t* record) { write_all(record, record_bytes()); }

void Y4mWriter::write_all(const std::uint8_t* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    const long long n = system::write_some(fd_, data + written, size - written);
    if (n >= 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    const int error = errno;
    discard_partial(written);
    if (error == EPIPE) throw Y4mOutputClosed();
    throw Y4mError(std::string("cannot write the output: ") + std::strerror(error));
  }
}

void Y4mWriter::discard_partial(std::size_t written) const {
  system::FileStatus status;
  if (written == 0 || !system::file_status(fd_, status) || !status.regular) return;
  const long long end = system::file_position(fd_);
  if (end >= static_cast<long long>(written)) (void)system::truncate_file(fd_, end - static_cast<long long>(written));
}

}  // namespace quillfen::y4m
