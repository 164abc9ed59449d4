#include "server/y4m_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "server/y4m_error.h"
#include "server/y4m_frame_conversion.h"

namespace quillfen::server {
namespace {

constexpr std::string_view kFrameLine = "FRAME\n";
static_assert(kFrameLine.size() == Y4mWriter::kRecordPlanesOffset);

}  // namespace

Y4mWriter::Y4mWriter(int fd, const Y4mHeader& header) : fd_(fd), header_(header) {}

void Y4mWriter::write_header() {
  const std::string line = format_y4m_header(header_);
  write_all(reinterpret_cast<const BYTE*>(line.data()), line.size());
}

std::size_t Y4mWriter::record_bytes() const { return kFrameLine.size() + y4m_frame_bytes(header_); }

void Y4mWriter::build_record(const PVideoFrame& frame, BYTE* record) const {
  std::memcpy(record, kFrameLine.data(), kFrameLine.size());
  frame_to_y4m_planes(header_, frame, record + kFrameLine.size());
}

void Y4mWriter::write_record(const BYTE* record) { write_all(record, record_bytes()); }

void Y4mWriter::write_all(const BYTE* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd_, data + written, size - written);
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
  struct stat info {};
  if (written == 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return;
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);
  if (end >= static_cast<off_t>(written)) (void)!::ftruncate(fd_, end - static_cast<off_t>(written));
}

}  // namespace quillfen::server
