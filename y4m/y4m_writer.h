// Writes a YUV4MPEG2 stream to a file descriptor. Every frame leaves in one
// piece: it is built whole in memory first, and a write cut short by the
// system is continued until the frame is out, and a file whose write is
// refused part way (disk full, file size limit) is cut back to where the
// frame began, so the output never ends inside a frame because of this writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "y4m/y4m_header.h"

namespace quillfen::y4m {

class Y4mWriter {
 public:
  // The descriptor stays the caller's.
  Y4mWriter(int fd, const Y4mHeader& header);

  // The stream header: the same tags as the input's.
  void write_header();

  // Bytes of one whole frame record: the FRAME line, then the planes, which
  // start kRecordPlanesOffset bytes in. A reader can read a frame's planes
  // into that place of a record buffer, so that the input and the output of
  // a frame share one buffer.
  static constexpr std::size_t kRecordPlanesOffset = 6;
  std::size_t record_bytes() const;

  // Starts the record at `record` (record_bytes() bytes): writes its FRAME
  // line and returns where its planes go, for the caller to fill.
  std::uint8_t* start_record(std::uint8_t* record) const;

  // Writes a whole record, in as few calls as the system takes. Throws
  // Y4mOutputClosed when the reader has gone, Y4mError for any other
  // failure.
  void write_record(const std::uint8_t* record);

 private:
  void write_all(const std::uint8_t* data, std::size_t size);
  // Removes the `written` bytes of a piece that could not be written whole,
  // when the output is a file.
  void discard_partial(std::size_t written) const;

  int fd_;
  Y4mHeader header_;
};

}  // namespace quillfen::y4m
