#include "cli/piece_join.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "cli/command_error.h"
#include "cli/stream_files.h"
#include "system/file_beside.h"
#include "system/files.h"
#include "system/stop_requests.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"
#include "y4m/y4m_writer.h"

namespace quillfen::cli {
namespace {

constexpr std::string_view kFrameLine = "FRAME\n";
constexpr const char kNotWritten[] = "; OUTPUT was not written";

// The file being joined into, named beside OUTPUT so that renaming it onto
// OUTPUT is one step on the same file system. Removed unless committed.
class PendingOutput {
 public:
  explicit PendingOutput(const std::string& output_path) : output_path_(output_path) {
    const int fd = system::create_file_beside(output_path, ".join-", path_);
    if (fd < 0)
      throw CommandError("quillfen: cannot write beside OUTPUT \"" + output_path + "\": " + std::strerror(errno));
    file_ = std::make_unique<StreamFile>(fd, true);
  }
  ~PendingOutput() {
    if (!committed_) system::remove_file(path_);
  }
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  int fd() const { return file_->fd(); }

  void commit() {
    if (!system::flush_to_disk(fd()) || !system::replace_file(path_, output_path_))
      throw CommandError("quillfen: cannot write OUTPUT \"" + output_path_ + "\": " + std::strerror(errno) +
                         kNotWritten);
    committed_ = true;
  }

 private:
  std::string output_path_;
  std::string path_;
  std::unique_ptr<StreamFile> file_;
  bool committed_ = false;
};

// The first tag in which `piece` differs from `first`, as "<piece's> instead of <first's>".
std::optional<std::string> header_difference(const y4m::Y4mHeader& first, const y4m::Y4mHeader& piece) {
  for (const char letter : std::string_view("WHFIACX")) {
    const std::string expected = y4m::y4m_tag(first, letter);
    const std::string found = y4m::y4m_tag(piece, letter);
    if (found == expected) continue;
    const auto shown = [letter](const std::string& tag) {
      return tag.empty() ? std::string("no ") + letter + " tag" : "\"" + tag + "\"";
    };
    return shown(found) + " instead of " + shown(expected);
  }
  return std::nullopt;
}

}  // namespace

int join_pieces(const std::string& output_path, const std::vector<std::string>& pieces) {
  system::FileStatus output_status;
  const bool output_exists = system::file_status(output_path, output_status);
  const std::atomic<bool>& stop = system::catch_stop_requests();
  PendingOutput output(output_path);

  std::optional<y4m::Y4mHeader> first_header;
  std::optional<y4m::Y4mWriter> writer;
  std::vector<std::uint8_t> record;
  for (const std::string& piece : pieces) {
    const auto refuse = [&](const std::string& what) {
      return CommandError("quillfen: PART \"" + piece + "\": " + what + kNotWritten);
    };
    const int fd = system::open_for_reading(piece);
    if (fd < 0) throw refuse(std::string("cannot open it: ") + std::strerror(errno));
    const StreamFile file(fd, true);
    system::FileStatus piece_status;
    if (output_exists && system::file_status(fd, piece_status) && piece_status.same_file_as(output_status))
      throw refuse("it is OUTPUT itself");

    // Only reading the piece fails on the piece; a failed write is OUTPUT's.
    const auto reading = [&](const auto& step) {
      try {
        return step();
      } catch (const y4m::Y4mError& error) {
        throw refuse(error.what());
      }
    };
    y4m::Y4mReader reader = reading([fd] { return y4m::Y4mReader(fd); });
    if (!first_header) {
      first_header = reader.header();
      writer.emplace(output.fd(), *first_header);
      writer->write_header();
    } else if (const auto difference = header_difference(*first_header, reader.header())) {
      throw refuse("its stream header has " + *difference + " of PART \"" + pieces.front() + "\"");
    }
    record.resize(kFrameLine.size() + reader.frame_bytes());
    std::memcpy(record.data(), kFrameLine.data(), kFrameLine.size());
    while (reading([&] { return reader.read_frame(record.data() + kFrameLine.size()); })) {
      if (stop.load()) throw CommandError(std::string("quillfen: interrupted") + kNotWritten, kExitInterrupted);
      writer->write_record(record.data());
    }
  }
  output.commit();
  return kExitOk;
}

}  // namespace quillfen::cli
