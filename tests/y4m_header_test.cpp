// Stream headers as real tools write them, the ones refused, and the host
// format they give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/y4m_video_info.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"

namespace {

using quillfen::y4m::format_y4m_header;
using quillfen::y4m::parse_y4m_header;
using quillfen::y4m::Y4mChroma;
using quillfen::y4m::Y4mError;
using quillfen::y4m::Y4mHeader;

TEST(Y4mHeader, ReadsAFullHeaderAndWritesItBackUnchanged) {
  const std::string line =
      "YUV4MPEG2 W720 H576 F25:1 It A128:117 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED";
  const Y4mHeader header = parse_y4m_header(line);
  EXPECT_EQ(header.width, 720);
  EXPECT_EQ(header.height, 576);
  EXPECT_EQ(header.fps_numerator, 25u);
  EXPECT_EQ(header.fps_denominator, 1u);
  EXPECT_EQ(header.interlace, 't');
  EXPECT_EQ(header.chroma, Y4mChroma::k420);
  EXPECT_EQ(format_y4m_header(header), line + "\n");
}

TEST(Y4mHeader, TagsInAnyOrderAndNoColourTagMeanFourTwoZero) {
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 F30000:1001 H360 W640 Ip");
  EXPECT_EQ(header.width, 640);
  EXPECT_EQ(header.height, 360);
  EXPECT_EQ(header.fps_numerator, 30000u);
  EXPECT_EQ(header.fps_denominator, 1001u);
  EXPECT_EQ(header.chroma, Y4mChroma::k420);
  EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(header), 640u * 360 * 3 / 2);
  EXPECT_EQ(quillfen::server::y4m_video_info(header, 9).pixel_type, VideoInfo::CS_YV12);
  EXPECT_EQ(format_y4m_header(header), "YUV4MPEG2 F30000:1001 H360 W640 Ip\n");
}

TEST(Y4mHeader, EveryFourTwoZeroSitingIsYv12AndFourTwoTwoIsYuy2) {
  for (const char* tag : {"C420", "C420jpeg", "C420mpeg2", "C420paldv"}) {
    const Y4mHeader header = parse_y4m_header(std::string("YUV4MPEG2 W8 H4 F1:1 ") + tag);
    EXPECT_EQ(quillfen::server::y4m_video_info(header, 1).pixel_type, VideoInfo::CS_YV12) << tag;
  }
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W8 H3 F24:1 C422 XYSCSS=422");
  const VideoInfo vi = quillfen::server::y4m_video_info(header, 5);
  EXPECT_EQ(vi.pixel_type, VideoInfo::CS_YUY2);
  EXPECT_EQ(vi.width, 8);
  EXPECT_EQ(vi.height, 3);
  EXPECT_EQ(vi.num_frames, 5);
  EXPECT_EQ(vi.fps_numerator, 24u);
  EXPECT_EQ(vi.num_audio_samples, 0);
  EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(header), 8u * 3 * 2);
}

TEST(Y4mHeader, InterlaceFieldGivesFieldOrderAndParity) {
  struct Case {
    const char* tag;
    int image_type;
    bool parity;
  };
  for (const Case& c : {Case{" It", VideoInfo::IT_TFF, true}, Case{" Ib", VideoInfo::IT_BFF, false},
                        Case{" Ip", 0, false}, Case{" I?", 0, false}, Case{" Im", 0, false},
                        Case{"", 0, false}}) {
    const Y4mHeader header = parse_y4m_header(std::string("YUV4MPEG2 W4 H2 F1:1") + c.tag);
    EXPECT_EQ(quillfen::server::y4m_video_info(header, 1).image_type, c.image_type) << c.tag;
    EXPECT_EQ(quillfen::server::y4m_parity(header), c.parity) << c.tag;
  }
}

TEST(Y4mHeader, RefusesWhatIsNotAnEightBitFourTwoTwoOrFourTwoZeroStream) {
  struct Case {
    const char* line;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"", "not a YUV4MPEG2"},
      {"RIFF....AVI LIST", "not a YUV4MPEG2"},
      {"YUV4MPEG2W4 H2 F1:1", "not a YUV4MPEG2"},
      {"YUV4MPEG2 H2 F1:1", "width (W) or height (H) is missing"},
      {"YUV4MPEG2 W4 F1:1", "width (W) or height (H) is missing"},
      {"YUV4MPEG2 W0 H2 F1:1", "width"},
      {"YUV4MPEG2 W4 H-2 F1:1", "height"},
      {"YUV4MPEG2 Wabc H2 F1:1", "width"},
      {"YUV4MPEG2 W99999999999 H2 F1:1", "width"},
      {"YUV4MPEG2 W4 H2 W4 F1:1", "twice"},
      {"YUV4MPEG2 W4 H2", "frame rate (F) is missing"},
      {"YUV4MPEG2 W4 H2 F0:1", "frame rate"},
      {"YUV4MPEG2 W4 H2 F25", "frame rate"},
      {"YUV4MPEG2 W4 H2 F25:1 Ix", "interlace"},
      {"YUV4MPEG2 W4 H2 F25:1 A1", "aspect"},
      {"YUV4MPEG2 W4 H2 F25:1 Z9", "unknown tag"},
      {"YUV4MPEG2 W4 H2 F25:1 C444", "\"C444\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 Cmono", "\"Cmono\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 C420p10 XYSCSS=420P10", "\"C420p10\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 C422p10", "\"C422p10\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 C411", "\"C411\" is not supported"},
      {"YUV4MPEG2 W5 H2 F25:1 C422", "width 5 is odd"},
      {"YUV4MPEG2 W4 H3 F25:1 C420", "height 3 is odd"},
      {"YUV4MPEG2 W2000000000 H2 F25:1", "too large"},
      {"YUV4MPEG2 W32768 H32768 F25:1 C422", "too large"},
  };
  for (const Case& c : cases) {
    try {
      parse_y4m_header(c.line);
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (const Y4mError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
          << c.line << " -> " << error.what();
    }
  }
}

TEST(Y4mHeader, LargestFrameThatFitsTheInterfaceIsAccepted) {
  // 16384 x 16384 4:2:0 is 384 MiB a frame: large, but within int.
  const Y4mHeader header = parse_y4m_header("YUV4MPEG2 W16384 H16384 F25:1 C420");
  EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(header), 16384u * 16384 * 3 / 2);
}

}  // namespace
