// Reading and writing Y4M streams through files and pipes, and the frames
// they become on the host side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/script_environment.h"
#include "server/y4m_frame_conversion.h"
#include "server/y4m_source_clip.h"
#include "server/y4m_video_info.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"
#include "y4m/y4m_writer.h"

namespace {

using namespace quillfen::server;
using namespace quillfen::y4m;

std::string frame_planes(std::size_t size, int seed) {
  std::string planes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) planes[i] = static_cast<char>((i * 7 + seed * 31) & 0xFF);
  return planes;
}

// A 6x2 4:2:2 stream (24 bytes a frame) of `frames` frames.
std::string small_stream(int frames, const std::string& frame_line = "FRAME\n") {
  std::string stream = "YUV4MPEG2 W6 H2 F25:1 Ib A1:1 C422 XYSCSS=422\n";
  for (int n = 0; n < frames; ++n) stream += frame_line + frame_planes(24, n);
  return stream;
}

// The same bytes behind a regular file and behind a pipe.
class Source {
 public:
  Source(const std::string& bytes, bool pipe) {
    if (pipe) {
      int ends[2];
      if (::pipe(ends) != 0) std::abort();
      fd_ = ends[0];
      feeder_ = std::thread([bytes, out = ends[1]] {
        // A reader that stops early must end the feeding, not the test.
        sigset_t pipe_signal;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
        std::size_t done = 0;
        while (done < bytes.size()) {
          const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
          if (n <= 0) break;
          done += static_cast<std::size_t>(n);
        }
        ::close(out);
      });
    } else {
      char path[] = "/tmp/quillfen-y4m-XXXXXX";
      fd_ = ::mkstemp(path);
      ::unlink(path);
      if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
      ::lseek(fd_, 0, SEEK_SET);
    }
  }
  ~Source() {
    ::close(fd_);
    if (feeder_.joinable()) feeder_.join();
  }
  int fd() const { return fd_; }

 private:
  int fd_;
  std::thread feeder_;
};

class Y4mReading : public ::testing::TestWithParam<bool> {};

TEST_P(Y4mReading, ReadsEveryFrameInOrderThenEnds) {
  Source source(small_stream(3, "FRAME Ixyz\n"), GetParam());
  Y4mReader reader(source.fd());
  EXPECT_EQ(reader.header().width, 6);
  EXPECT_EQ(reader.header().interlace, 'b');
  ASSERT_EQ(reader.frame_bytes(), 24u);
  std::vector<BYTE> planes(24);
  for (int n = 0; n < 3; ++n) {
    ASSERT_TRUE(reader.read_frame(planes.data()));
    EXPECT_EQ(std::string(planes.begin(), planes.end()), frame_planes(24, n));
  }
  EXPECT_FALSE(reader.read_frame(planes.data()));
  EXPECT_EQ(reader.frames_passed(), 3);
}

TEST_P(Y4mReading, SkippedFramesAreNotReturned) {
  Source source(small_stream(4), GetParam());
  Y4mReader reader(source.fd());
  ASSERT_TRUE(reader.skip_frame());
  ASSERT_TRUE(reader.skip_frame());
  std::vector<BYTE> planes(24);
  ASSERT_TRUE(reader.read_frame(planes.data()));
  EXPECT_EQ(std::string(planes.begin(), planes.end()), frame_planes(24, 2));
  ASSERT_TRUE(reader.skip_frame());
  EXPECT_FALSE(reader.skip_frame());
}

TEST_P(Y4mReading, CountsFramesOfFilesOnly) {
  Source source(small_stream(5), GetParam());
  Y4mReader reader(source.fd());
  std::vector<BYTE> planes(24);
  ASSERT_TRUE(reader.read_frame(planes.data()));
  EXPECT_EQ(reader.count_remaining_frames(), GetParam() ? -1 : 4);
  // Counting does not move the reading position.
  ASSERT_TRUE(reader.read_frame(planes.data()));
  EXPECT_EQ(std::string(planes.begin(), planes.end()), frame_planes(24, 1));
}

TEST_P(Y4mReading, CutShortLastFrameFailsAfterTheWholeOnes) {
  const std::string stream = small_stream(3);
  Source source(stream.substr(0, stream.size() - 5), GetParam());
  Y4mReader reader(source.fd());
  if (!GetParam()) {
    EXPECT_EQ(reader.count_remaining_frames(), 2);
  }
  std::vector<BYTE> planes(24);
  ASSERT_TRUE(reader.read_frame(planes.data()));
  ASSERT_TRUE(reader.skip_frame());
  try {
    reader.read_frame(planes.data());
    FAIL() << "a cut frame was read";
  } catch (const Y4mError& error) {
    EXPECT_STREQ(error.what(), "Y4M input: frame 2 is cut short (19 of 24 bytes)");
  }
}

TEST_P(Y4mReading, BadStreamsAreRefusedWithTheirReason) {
  const std::string huge_header = "YUV4MPEG2 W6 H2 F25:1 X" + std::string(70000, 'a') + "\n";
  struct Case {
    std::string bytes;
    const char* says;
    bool on_first_frame;
  };
  const std::vector<Case> cases = {
      {"", "the input is empty", false},
      {"\x89PNG\r\n\x1a\n", "not a YUV4MPEG2", false},
      {std::string(100000, 'Z'), "not a YUV4MPEG2", false},
      {"YUV4MPEG2 W6 H2 F25:1 C422", "ends inside the stream header", false},
      {huge_header, "longer than 64 KiB", false},
      {small_stream(0) + "FRAMES\n", "frame 0 does not start with a FRAME header", true},
      {small_stream(0) + "FRAME" + std::string(70000, ' '), "frame header is longer than 64 KiB", true},
      // Two-byte samples, little-endian, above the range of the stream's depth.
      {std::string("YUV4MPEG2 W2 H1 F25:1 C422p10\nFRAME\n\xff\x03\x00\x00\x00\x04\x00\x00", 44),
       "Y4M input: frame 0, plane U: sample 1024 is above the 10-bit range (0-1023)", true},
      {std::string("YUV4MPEG2 W1 H1 F25:1 C444p12\nFRAME\n\xff\x0f\xff\x0f\x01\x80", 42),
       "Y4M input: frame 0, plane V: sample 32769 is above the 12-bit range (0-4095)", true},
  };
  for (const Case& c : cases) {
    Source source(c.bytes, GetParam());
    try {
      Y4mReader reader(source.fd());
      ASSERT_TRUE(c.on_first_frame) << c.says;
      std::vector<BYTE> planes(reader.frame_bytes());
      reader.read_frame(planes.data());
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const Y4mError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FileAndPipe, Y4mReading, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pipe" : "File"; });

// A host frame with rows padded past their size, as real frames are.
struct HostFrame {
  HostFrame(const Y4mHeader& header, int pitch) : memory(4096, 0xEE), buffer(memory.data(), 4096) {
    const int h = header.height;
    if (header.chroma == Y4mChroma::k422) {
      owner = std::make_unique<VideoFrame>(&buffer, 8, pitch, 2 * header.width, h);
    } else {
      const int chroma_pitch = pitch / 2;
      owner = std::make_unique<VideoFrame>(&buffer, 8, pitch, header.width, h, 8 + pitch * h,
                                           8 + pitch * h + chroma_pitch * (h / 2), chroma_pitch);
    }
    frame = owner.get();
  }
  std::vector<BYTE> memory;
  VideoFrameBuffer buffer;
  std::unique_ptr<VideoFrame> owner;  // the host side owns frames
  PVideoFrame frame;
};

TEST(Y4mFrameConversion, FourTwoTwoPlanesPackIntoYuy2PairsAndBack) {
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W4 H2 F25:1 C422");
  // Y plane 4x2, then U 2x2, then V 2x2.
  const std::vector<BYTE> planes = {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 21, 22, 23, 24};
  HostFrame host(header, 32);
  y4m_planes_to_frame(header, planes.data(), host.frame);
  const BYTE* row0 = host.frame->GetReadPtr();
  const BYTE* row1 = row0 + 32;
  EXPECT_EQ(std::vector<BYTE>(row0, row0 + 8), (std::vector<BYTE>{1, 11, 2, 21, 3, 12, 4, 22}));
  EXPECT_EQ(std::vector<BYTE>(row1, row1 + 8), (std::vector<BYTE>{5, 13, 6, 23, 7, 14, 8, 24}));
  EXPECT_EQ(row0[8], 0xEE) << "wrote past the row";

  std::vector<BYTE> back(planes.size());
  frame_to_y4m_planes(header, host.frame, back.data());
  EXPECT_EQ(back, planes);
}

TEST(Y4mFrameConversion, FourTwoZeroPlanesMapOntoYv12Planes) {
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W4 H2 F25:1 C420mpeg2");
  const std::vector<BYTE> planes = {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 21, 22};
  HostFrame host(header, 32);
  y4m_planes_to_frame(header, planes.data(), host.frame);
  const VideoFrame& f = *host.frame.get();
  EXPECT_EQ(std::vector<BYTE>(f.GetReadPtr(PLANAR_Y) + 32, f.GetReadPtr(PLANAR_Y) + 36), (std::vector<BYTE>{5, 6, 7, 8}));
  EXPECT_EQ(std::vector<BYTE>(f.GetReadPtr(PLANAR_U), f.GetReadPtr(PLANAR_U) + 2), (std::vector<BYTE>{11, 12}));
  EXPECT_EQ(std::vector<BYTE>(f.GetReadPtr(PLANAR_V), f.GetReadPtr(PLANAR_V) + 2), (std::vector<BYTE>{21, 22}));

  std::vector<BYTE> back(planes.size());
  frame_to_y4m_planes(header, host.frame, back.data());
  EXPECT_EQ(back, planes);
}

TEST(Y4mWriting, OutputCarriesTheInputHeaderAndWholeFrames) {
  const std::string stream = small_stream(2);
  Source source(stream, false);
  Y4mReader reader(source.fd());
  char path[] = "/tmp/quillfen-y4m-out-XXXXXX";
  const int out = ::mkstemp(path);
  ::unlink(path);
  Y4mWriter writer(out, reader.header());
  writer.write_header();
  // Each frame's planes are read into its record's place and the record is
  // built over them.
  std::vector<BYTE> record(writer.record_bytes());
  BYTE* planes = record.data() + Y4mWriter::kRecordPlanesOffset;
  ScriptEnvironment env;
  const VideoInfo vi = y4m_video_info(reader.header(), 2);
  while (reader.read_frame(planes)) {
    PVideoFrame frame = env.NewVideoFrame(vi);
    y4m_planes_to_frame(reader.header(), planes, frame);
    frame_to_y4m_planes(reader.header(), frame, writer.start_record(record.data()));
    writer.write_record(record.data());
  }
  std::string written(stream.size() + 1, '\0');
  EXPECT_EQ(::pread(out, written.data(), written.size(), 0), static_cast<ssize_t>(stream.size()));
  written.resize(stream.size());
  EXPECT_EQ(written, stream);
  ::close(out);
}

TEST(Y4mWriting, ClosedReaderIsToldApartFromOtherFailures) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W4 H2 F25:1");
  // The test runs with SIGPIPE at its default: block it for this thread.
  sigset_t pipe_signal, previous;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
  Y4mWriter closed(ends[1], header);
  EXPECT_THROW(closed.write_header(), Y4mOutputClosed);
  timespec none{};
  sigtimedwait(&pipe_signal, nullptr, &none);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::close(ends[1]);

  const int read_only = ::open("/dev/null", O_RDONLY);
  Y4mWriter refused(read_only, header);
  try {
    refused.write_header();
    FAIL() << "wrote to a read-only descriptor";
  } catch (const Y4mOutputClosed&) {
    FAIL() << "a refused write is not a closed reader";
  } catch (const Y4mError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot write the output"), std::string::npos);
  }
  ::close(read_only);
}

TEST(Y4mSource, ServesTheSuppliedFrameOnlyWithTheStreamsFormat) {
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W4 H2 F30000:1001 It C422");
  ScriptEnvironment env;
  auto* source = new Y4mSourceClip(header, 7);
  const PClip clip = source;
  const VideoInfo& vi = clip->GetVideoInfo();
  EXPECT_TRUE(vi.IsYUY2());
  EXPECT_EQ(vi.num_frames, 7);
  EXPECT_EQ(vi.fps_numerator, 30000u);
  EXPECT_TRUE(clip->GetParity(3));

  const PVideoFrame supplied = env.NewVideoFrame(vi);
  source->supply(5, &supplied);
  EXPECT_EQ(clip->GetFrame(5, &env).get(), supplied.get());
  EXPECT_THROW(clip->GetFrame(4, &env), AvisynthError);
  source->supply(5, nullptr);
  EXPECT_THROW(clip->GetFrame(5, &env), AvisynthError) << "served a frame after it was withdrawn";
}

}  // namespace
