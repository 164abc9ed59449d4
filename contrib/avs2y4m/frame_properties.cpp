#include "contrib/avs2y4m/frame_properties.h"

#include <cctype>
#include <charconv>

namespace quillfen::avs2y4m {
namespace {

using y4m::Y4mChroma;

constexpr char kSarNum[] = "_SARNum";
constexpr char kSarDen[] = "_SARDen";
constexpr char kChromaLocation[] = "_ChromaLocation";
constexpr char kColorRange[] = "_ColorRange";

// The 8-bit 4:2:0 sitings Y4M names, by AviSynth+'s code; AviSynth+'s own
// "dv" code (6) is the same siting as code 2 is for ffmpeg's PAL DV.
struct Siting {
  std::int64_t code;
  const char* tag;
};
constexpr Siting kSitings[] = {{0, "C420mpeg2"}, {1, "C420jpeg"}, {2, "C420paldv"}, {6, "C420paldv"}};
constexpr const char* kDefaultSiting = "C420mpeg2";

struct Range {
  std::int64_t code;
  const char* tag;
};
constexpr Range kRanges[] = {{0, "XCOLORRANGE=FULL"}, {1, "XCOLORRANGE=LIMITED"}};

std::optional<std::uint32_t> positive_number(std::string_view digits) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value == 0) return std::nullopt;
  return value;
}

std::string colour_tag(const y4m::Y4mFormat& format, const PictureProperties& properties) {
  if (format.chroma == Y4mChroma::k420 && format.bits == 8) {
    for (const Siting& siting : kSitings)
      if (properties.chroma_location == siting.code) return siting.tag;
    return kDefaultSiting;
  }
  std::string tag = format.chroma == Y4mChroma::k420 ? "C420" : format.chroma == Y4mChroma::k422 ? "C422" : "C444";
  if (format.bits > 8) tag.append("p").append(std::to_string(format.bits));
  return tag;
}

std::optional<std::int64_t> integer_property(IScriptEnvironment* env, const AVSMap* map, const char* key) {
  int error = 0;
  const std::int64_t value = env->propGetInt(map, key, 0, &error);
  if (error != 0) return std::nullopt;
  return value;
}

}  // namespace

PictureProperties properties_of_header(const y4m::Y4mHeader& header) {
  PictureProperties properties;
  const std::string aspect = y4m_tag(header, 'A');
  if (const std::size_t colon = aspect.find(':'); colon != std::string::npos) {
    const auto numerator = positive_number(std::string_view(aspect).substr(1, colon - 1));
    const auto denominator = positive_number(std::string_view(aspect).substr(colon + 1));
    if (numerator && denominator) properties.aspect = {{*numerator, *denominator}};
  }
  if (header.chroma == Y4mChroma::k420 && header.bits == 8) {
    // A plain C420 is sited as JPEG's.
    const std::string colour = y4m_tag(header, 'C');
    properties.chroma_location = 1;
    for (const Siting& siting : kSitings)
      if (colour == siting.tag) {
        properties.chroma_location = siting.code;
        break;
      }
  }
  for (const std::string& tag : header.tags)
    for (const Range& range : kRanges)
      if (tag == range.tag) properties.colour_range = range.code;
  return properties;
}

std::vector<std::string> picture_tags(const y4m::Y4mFormat& format, const PictureProperties& properties) {
  std::vector<std::string> tags;
  std::string aspect = "A0:0";
  if (properties.aspect)
    aspect = std::string("A").append(std::to_string(properties.aspect->first)).append(":").append(
        std::to_string(properties.aspect->second));
  tags.push_back(aspect);
  const std::string colour = colour_tag(format, properties);
  tags.push_back(colour);
  std::string restated = "XYSCSS=" + colour.substr(1);
  for (char& c : restated) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  tags.push_back(restated);
  for (const Range& range : kRanges)
    if (properties.colour_range == range.code) tags.push_back(range.tag);
  return tags;
}

bool has_frame_properties(IScriptEnvironment* env) {
  try {
    env->CheckVersion(8);
    return true;
  } catch (const AvisynthError&) {
    return false;
  }
}

void set_frame_properties(IScriptEnvironment* env, PVideoFrame& frame, const PictureProperties& properties) {
  AVSMap* map = env->getFramePropsRW(frame);
  if (properties.aspect) {
    env->propSetInt(map, kSarNum, properties.aspect->first, PROPAPPENDMODE_REPLACE);
    env->propSetInt(map, kSarDen, properties.aspect->second, PROPAPPENDMODE_REPLACE);
  }
  if (properties.chroma_location)
    env->propSetInt(map, kChromaLocation, *properties.chroma_location, PROPAPPENDMODE_REPLACE);
  if (properties.colour_range) env->propSetInt(map, kColorRange, *properties.colour_range, PROPAPPENDMODE_REPLACE);
}

PictureProperties frame_properties_of(IScriptEnvironment* env, const PVideoFrame& frame) {
  const AVSMap* map = env->getFramePropsRO(frame);
  PictureProperties properties;
  const auto numerator = integer_property(env, map, kSarNum);
  const auto denominator = integer_property(env, map, kSarDen);
  const auto fits = [](std::int64_t value) { return value > 0 && value <= UINT32_MAX; };
  if (numerator && denominator && fits(*numerator) && fits(*denominator))
    properties.aspect = {{static_cast<std::uint32_t>(*numerator), static_cast<std::uint32_t>(*denominator)}};
  properties.chroma_location = integer_property(env, map, kChromaLocation);
  properties.colour_range = integer_property(env, map, kColorRange);
  return properties;
}

}  // namespace quillfen::avs2y4m
