// Stream headers as real tools write them, the ones refused, and the host
// format they give.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "server/y4m_video_info.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"

namespace quillfen {

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

TEST(Y4mHeader, EveryTakenTagGivesItsLayoutDepthAndFrameSizeAndOnlyEightBitFourTwoXFitsHostFrames) {
  struct Case {
    const char* tag;
    Y4mChroma chroma;
    int bits;
    std::size_t frame_bytes;  // of a 6x4 frame
    int pixel_type;           // in host frames; 0 for none
  };
  const std::vector<Case> cases = {
      {"C420", Y4mChroma::k420, 8, 24 + 2 * 6, VideoInfo::CS_YV12},
      {"C420jpeg", Y4mChroma::k420, 8, 24 + 2 * 6, VideoInfo::CS_YV12},
      {"C420mpeg2", Y4mChroma::k420, 8, 24 + 2 * 6, VideoInfo::CS_YV12},
      {"C420paldv", Y4mChroma::k420, 8, 24 + 2 * 6, VideoInfo::CS_YV12},
      {"C422", Y4mChroma::k422, 8, 24 + 2 * 12, VideoInfo::CS_YUY2},
      {"C444", Y4mChroma::k444, 8, 3 * 24, 0},
      {"C420p9", Y4mChroma::k420, 9, 2 * (24 + 2 * 6), 0},
      {"C422p10", Y4mChroma::k422, 10, 2 * (24 + 2 * 12), 0},
      {"C444p12", Y4mChroma::k444, 12, 2 * 3 * 24, 0},
      {"C420p14", Y4mChroma::k420, 14, 2 * (24 + 2 * 6), 0},
      {"C444p16", Y4mChroma::k444, 16, 2 * 3 * 24, 0},
  };
  for (const Case& c : cases) {
    const Y4mHeader header = parse_y4m_header(std::string("YUV4MPEG2 W6 H4 F24:1 ") + c.tag + " XYSCSS=ANY");
    EXPECT_EQ(header.chroma, c.chroma) << c.tag;
    EXPECT_EQ(header.bits, c.bits) << c.tag;
    EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(header), c.frame_bytes) << c.tag;
    EXPECT_EQ(quillfen::server::y4m_fits_host_frames(header), c.pixel_type != 0) << c.tag;
    if (c.pixel_type != 0) {
      EXPECT_EQ(quillfen::server::y4m_video_info(header, 1).pixel_type, c.pixel_type) << c.tag;
    }
  }
  const VideoInfo vi = quillfen::server::y4m_video_info(parse_y4m_header("YUV4MPEG2 W8 H3 F24:1 C422"), 5);
  EXPECT_EQ(vi.width, 8);
  EXPECT_EQ(vi.height, 3);
  EXPECT_EQ(vi.num_frames, 5);
  EXPECT_EQ(vi.fps_numerator, 24u);
  EXPECT_EQ(vi.num_audio_samples, 0);
  // 4:4:4 takes any size; subsampled planes of an odd size cover the last
  // column or row.
  EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(parse_y4m_header("YUV4MPEG2 W5 H3 F1:1 C444p10")), 2u * 3 * 15);
  EXPECT_EQ(quillfen::y4m::y4m_frame_bytes(
                parse_y4m_header("YUV4MPEG2 W5 H3 F1:1 C422p10", quillfen::y4m::Y4mSizeCheck::kAny)),
            2u * (15 + 2 * 9));
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

TEST(Y4mHeader, RefusesWhatIsNotAYuvStreamTheFilterTakesNamingTheNearestFormatThatIs) {
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
      {"YUV4MPEG2 W4 H2 F25:1 Cmono", "\"Cmono\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 Cmono", "ffmpeg -pix_fmt yuv420p"},
      {"YUV4MPEG2 W4 H2 F25:1 Cmono10", "ffmpeg -pix_fmt yuv420p10le"},
      {"YUV4MPEG2 W4 H2 F25:1 Cmono16", "ffmpeg -pix_fmt yuv420p16le"},
      {"YUV4MPEG2 W4 H2 F25:1 C411 XYSCSS=411", "\"C411\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 C411", "ffmpeg -pix_fmt yuv422p"},
      {"YUV4MPEG2 W4 H2 F25:1 C444alpha", "ffmpeg -pix_fmt yuv444p"},
      {"YUV4MPEG2 W4 H2 F25:1 C422p11", "ffmpeg -pix_fmt yuv422p12le -strict -1"},
      {"YUV4MPEG2 W4 H2 F25:1 C444p24", "ffmpeg -pix_fmt yuv444p16le"},
      {"YUV4MPEG2 W4 H2 F25:1 C420p", "\"C420p\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 C420p010", "\"C420p010\" is not supported"},
      {"YUV4MPEG2 W4 H2 F25:1 Crgb24", "ffmpeg -pix_fmt yuv444p"},
      {"YUV4MPEG2 W5 H2 F25:1 C422", "width 5 is odd"},
      {"YUV4MPEG2 W5 H2 F25:1 C420p10", "width 5 is odd"},
      {"YUV4MPEG2 W4 H3 F25:1 C420", "height 3 is odd"},
      {"YUV4MPEG2 W4 H3 F25:1 C420p16", "height 3 is odd"},
      {"YUV4MPEG2 W2000000000 H2 F25:1", "too large"},
      {"YUV4MPEG2 W32768 H32768 F25:1 C422", "too large"},
      {"YUV4MPEG2 W27000 H27000 F25:1 C420p10", "too large"},  // within int at 8 bits,
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

}  // namespace quillfen
