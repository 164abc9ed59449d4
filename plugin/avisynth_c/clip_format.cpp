#include "plugin/avisynth_c/clip_format.h"

#include <cstdio>
#include <cstring>

#include "filter/avisynth_messages.h"

namespace quillfen {

namespace {

// The depth of a pixel type's samples; 32 is float.
int sample_bits(int pixel_type) {
  switch (pixel_type & AVS_CS_SAMPLE_BITS_MASK) {
    case AVS_CS_SAMPLE_BITS_10: return 10;
    case AVS_CS_SAMPLE_BITS_12: return 12;
    case AVS_CS_SAMPLE_BITS_14: return 14;
    case AVS_CS_SAMPLE_BITS_16: return 16;
    case AVS_CS_SAMPLE_BITS_32: return 32;
    default: return 8;
  }
}

bool has(int pixel_type, int bits) { return (pixel_type & bits) == bits; }

// The chroma subsampling of a planar YUV pixel type, AviSynth+'s way
// ("420", "422", "444", "411", "410"), or null.
const char* subsampling_name(int pixel_type) {
  const int width = pixel_type & AVS_CS_SUB_WIDTH_MASK;
  const int height = pixel_type & AVS_CS_SUB_HEIGHT_MASK;
  if (width == AVS_CS_SUB_WIDTH_2 && height == AVS_CS_SUB_HEIGHT_2) return "420";
  if (width == AVS_CS_SUB_WIDTH_2 && height == AVS_CS_SUB_HEIGHT_1) return "422";
  if (width == AVS_CS_SUB_WIDTH_1 && height == AVS_CS_SUB_HEIGHT_1) return "444";
  if (width == AVS_CS_SUB_WIDTH_4 && height == AVS_CS_SUB_HEIGHT_1) return "411";
  if (width == AVS_CS_SUB_WIDTH_4 && height == AVS_CS_SUB_HEIGHT_4) return "410";
  return nullptr;
}

bool is_planar_yuv(int pixel_type) {
  return has(pixel_type, AVS_CS_PLANAR) && (pixel_type & (AVS_CS_YUV | AVS_CS_YUVA)) &&
         !(pixel_type & (AVS_CS_BGR | AVS_CS_INTERLEAVED));
}

// The pixel type's name as AviSynth+'s PixelType() gives it: the classic
// names of 8-bit planar YUV (YV12, YV16, YV24, YV411, YUV9, Y8) and planar
// RGB (RGBP, RGBAP), YUVA420 and the like for 8 bits with alpha, Y32 for
// float luma, else family, subsampling and depth (YUV420P10, RGBAPS, ...).
void name_of(int pixel_type, char (&name)[32]) {
  const int bits = sample_bits(pixel_type);
  char depth[8];
  if (bits == 32)
    std::snprintf(depth, sizeof depth, "S");
  else
    std::snprintf(depth, sizeof depth, "%d", bits);
  const bool alpha_rgb = has(pixel_type, AVS_CS_RGBA_TYPE);
  const char* subsampling = subsampling_name(pixel_type);
  if (pixel_type == AVS_CS_YUY2)
    std::snprintf(name, sizeof name, "YUY2");
  else if (has(pixel_type, AVS_CS_BGR) && has(pixel_type, AVS_CS_INTERLEAVED))
    std::snprintf(name, sizeof name, "RGB%d", (alpha_rgb ? 4 : 3) * bits);
  else if (has(pixel_type, AVS_CS_BGR) && has(pixel_type, AVS_CS_PLANAR))
    std::snprintf(name, sizeof name, "%s%s", alpha_rgb ? "RGBAP" : "RGBP", bits == 8 ? "" : depth);
  else if (has(pixel_type, AVS_CS_GENERIC_Y) && (pixel_type & AVS_CS_PLANAR_MASK & ~AVS_CS_SAMPLE_BITS_MASK) ==
                                                    AVS_CS_GENERIC_Y)
    std::snprintf(name, sizeof name, "Y%d", bits);
  else if (is_planar_yuv(pixel_type) && subsampling && (pixel_type & AVS_CS_YUVA))
    std::snprintf(name, sizeof name, "YUVA%s%s%s", subsampling, bits == 8 ? "" : "P", bits == 8 ? "" : depth);
  else if (is_planar_yuv(pixel_type) && subsampling && bits == 8)
    std::snprintf(name, sizeof name, "%s",
                  std::strcmp(subsampling, "420") == 0   ? "YV12"
                  : std::strcmp(subsampling, "422") == 0 ? "YV16"
                  : std::strcmp(subsampling, "444") == 0 ? "YV24"
                  : std::strcmp(subsampling, "411") == 0 ? "YV411"
                                                         : "YUV9");
  else if (is_planar_yuv(pixel_type) && subsampling)
    std::snprintf(name, sizeof name, "YUV%sP%s", subsampling, depth);
  else
    std::snprintf(name, sizeof name, "pixel type 0x%08X", static_cast<unsigned>(pixel_type));
}

}  // namespace

std::optional<FrameFormat> frame_format_of(const AVS_VideoInfo& vi) {
  const int type = vi.pixel_type;
  if (type == AVS_CS_YUY2) return FrameFormat{vi.width, vi.height, ChromaLayout::kYuy2, 8};
  if (!is_planar_yuv(type) || (type & AVS_CS_YUVA)) return std::nullopt;
  const int bits = sample_bits(type);
  const char* subsampling = subsampling_name(type);
  if (!subsampling) return std::nullopt;
  if (std::strcmp(subsampling, "420") == 0) return FrameFormat{vi.width, vi.height, ChromaLayout::k420, bits};
  if (std::strcmp(subsampling, "422") == 0) return FrameFormat{vi.width, vi.height, ChromaLayout::k422, bits};
  if (std::strcmp(subsampling, "444") == 0) return FrameFormat{vi.width, vi.height, ChromaLayout::k444, bits};
  return std::nullopt;
}

void format_refusal(const AVS_VideoInfo& vi, char (&message)[256]) {
  const int type = vi.pixel_type;
  if (vi.width == 0) {
    std::snprintf(message, sizeof message, "%s", kNoVideo);
    return;
  }
  char name[32];
  name_of(type, name);
  // The alpha plane away; then any other family or subsampling to 4:4:4,
  // which loses no chroma. Float stays float.
  char conversion[64] = "";
  const auto add = [&](const char* call) {
    std::strncat(conversion, conversion[0] ? "." : "", sizeof conversion - std::strlen(conversion) - 1);
    std::strncat(conversion, call, sizeof conversion - std::strlen(conversion) - 1);
  };
  if ((is_planar_yuv(type) && (type & AVS_CS_YUVA)) ||
      (has(type, AVS_CS_BGR) && has(type, AVS_CS_PLANAR) && has(type, AVS_CS_RGBA_TYPE)))
    add("RemoveAlphaPlane()");
  const char* subsampling = is_planar_yuv(type) ? subsampling_name(type) : nullptr;
  if (!is_planar_yuv(type) || !subsampling || std::strcmp(subsampling, "411") == 0 ||
      std::strcmp(subsampling, "410") == 0)
    add("ConvertToYUV444()");
  std::snprintf(message, sizeof message,
                "Quillfen: the clip is %s; YUY2 or YUV 4:2:0, 4:2:2 or 4:4:4 of 8 to 16 bits or float only: "
                "add %s before Quillfen.",
                name, conversion);
}

void odd_size_refusals(const AVS_VideoInfo& vi, char (&odd_width)[256], char (&odd_height)[256]) {
  char name[32];
  name_of(vi.pixel_type, name);
  const char* subsampling = subsampling_name(vi.pixel_type);
  const char* pairs = vi.pixel_type == AVS_CS_YUY2                             ? "YUY2"
                      : subsampling && std::strcmp(subsampling, "422") == 0 ? "4:2:2"
                                                                             : "4:2:0";
  avisynth_odd_size_refusals(name, pairs, vi.width, vi.height, odd_width, odd_height);
}

}  // namespace quillfen
