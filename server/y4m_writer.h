// Writes a YUV4MPEG2 stream to a file descriptor. Every frame leaves in one
// piece: it is built whole in memory first, and a write cut short by the
// system is continued until the frame is out, and a file whose write is
// refused part way (disk full, file size limit) is cut back to where the
// frame began, so the output never ends inside a frame because of this writer.
#pragma once

#include <cstddef>
#include <vector>

#include "host/avisynth_interface.h"
#include "server/y4m_header.h"

namespace quillfen::server {

class Y4mWriter {
 public:
  // The descriptor stays the caller's.
  Y4mWriter(int fd, const Y4mHeader& header);

  // The stream header: the same tags as the input's.
  void write_header();

  // The bytes of one whole frame record (FRAME line and planes) for
  // `frame`, a host frame of the header's format, into `record`.
  void build_record(const PVideoFrame& frame, std::vector<BYTE>& record) const;

  // Writes a record made by build_record. Throws Y4mOutputClosed when the
  // reader has gone, Y4mError for any other failure.
  void write_record(const std::vector<BYTE>& record);

 private:
  void write_all(const BYTE* data, std::size_t size);
  // Removes the `written` bytes of a piece that could not be written whole,
  // when the output is a file.
  void discard_partial(std::size_t written) const;

  int fd_;
  Y4mHeader header_;
};

}  // namespace quillfen::server
