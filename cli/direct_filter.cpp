#include "cli/direct_filter.h"

#include <bit>
#include <cstring>

#include "cli/command_error.h"
#include "cli/filter_arguments.h"
#include "filter/clip_refusal.h"
#include "propagation/pass_kernels.h"

namespace quillfen::cli {
namespace {

// Samples of more than 8 bits are read as the host's uint16, and Y4M stores
// them little-endian.
static_assert(std::endian::native == std::endian::little);

FrameFormat frame_format(const y4m::Y4mHeader& header) {
  const ChromaLayout layout = header.chroma == y4m::Y4mChroma::k420   ? ChromaLayout::k420
                              : header.chroma == y4m::Y4mChroma::k422 ? ChromaLayout::k422
                                                                      : ChromaLayout::k444;
  return {header.width, header.height, layout, header.bits};
}

// The one place the command asks whether the filter takes these settings
// for this clip.
QuillfenParameters bound_parameters(const y4m::Y4mHeader& header,
                                    const std::vector<std::pair<std::string, std::string>>& filter_arguments) {
  const QuillfenParameters parameters = parameters_from_text(filter_arguments);
  // Every Y4M clip the command reads has a frame format the filter takes.
  if (const char* refusal = clip_refusal(frame_format(header), nullptr, parameters))
    throw CommandError(refusal, refusal == kCpuCapError ? kExitFailure : kExitUsage);
  return parameters;
}

const PassKernel& chosen_kernel() {
  const PassKernel* kernel = chosen_pass_kernel();
  if (!kernel) throw CommandError(kCpuCapError);
  return *kernel;
}

}  // namespace

DirectFilter::DirectFilter(const y4m::Y4mHeader& header,
                           const std::vector<std::pair<std::string, std::string>>& filter_arguments)
    : filter_(frame_format(header), bound_parameters(header, filter_arguments), chosen_kernel()) {
  const std::size_t sample_bytes = static_cast<std::size_t>(y4m::y4m_sample_bytes(header));
  const std::size_t chroma_width = static_cast<std::size_t>(y4m::y4m_chroma_width(header));
  luma_pitch_ = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(header.width) * sample_bytes);
  chroma_pitch_ = static_cast<std::ptrdiff_t>(chroma_width * sample_bytes);
  chroma_offset_ = static_cast<std::size_t>(luma_pitch_) * static_cast<std::size_t>(header.height);
  chroma_bytes_ = static_cast<std::size_t>(chroma_pitch_) * static_cast<std::size_t>(y4m::y4m_chroma_height(header));
  // In two-byte elements, which keep wide samples on even addresses.
  source_chroma_ = std::make_unique_for_overwrite<std::uint16_t[]>(chroma_bytes_);
  filter_.stop_between_passes(&stopping_);
}

std::optional<int> DirectFilter::filter(int, std::uint8_t* planes) {
  std::uint8_t* const u = planes + chroma_offset_;
  std::uint8_t* const v = u + chroma_bytes_;
  std::uint8_t* const source_u = reinterpret_cast<std::uint8_t*>(source_chroma_.get());
  std::uint8_t* const source_v = source_u + chroma_bytes_;
  std::memcpy(source_u, u, 2 * chroma_bytes_);
  const FramePlanes source{{planes, source_u, source_v}, {luma_pitch_, chroma_pitch_, chroma_pitch_}};
  const int passes = filter_.filter(source, FrameDestination{{nullptr, u, v}, {0, chroma_pitch_, chroma_pitch_}});
  if (passes == 0) return std::nullopt;
  return passes;
}

}  // namespace quillfen::cli
