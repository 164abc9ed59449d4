#include "cli/direct_filter.h"

#include <bit>
#include <cstring>

#include "cli/command_error.h"
#include "filter/clip_refusal.h"
#include "filter/quillfen_parameters.h"
#include "plugin/quillfen_factory.h"
#include "propagation/pass_kernels.h"
#include "server/script_environment.h"
#include "server/server_error.h"

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

// The settings of a call, read as the plugin's factory reads them: an
// argument left out keeps its default.
AVSValue AVS_CDECL keep_parameters(AVSValue args, void* kept, IScriptEnvironment*) {
  *static_cast<QuillfenParameters*>(kept) = quillfen_parameters_from(args, 0);
  return AVSValue();
}

QuillfenParameters bound_parameters(const y4m::Y4mHeader& header,
                                    const std::vector<std::pair<std::string, std::string>>& filter_arguments) {
  QuillfenParameters parameters;
  try {
    server::ScriptEnvironment env;
    // The plugin's signature after its clip: text arguments bind, and are
    // refused in the same words, as they are for the plugin.
    env.AddFunction(kQuillfenFunctionName, kQuillfenSignature.data() + 1, keep_parameters, &parameters);
    env.invoke_with_text(kQuillfenFunctionName, nullptr, filter_arguments);
  } catch (const server::ArgumentError&) {
    throw CommandError(current_exception_line(), kExitUsage);
  } catch (...) {
    throw CommandError(current_exception_line());
  }
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
  source_chroma_.resize(chroma_bytes_);
}

int DirectFilter::filter(BYTE* planes) {
  BYTE* const u = planes + chroma_offset_;
  BYTE* const v = u + chroma_bytes_;
  BYTE* const source_u = reinterpret_cast<BYTE*>(source_chroma_.data());
  BYTE* const source_v = source_u + chroma_bytes_;
  std::memcpy(source_u, u, 2 * chroma_bytes_);
  const FramePlanes source{{planes, source_u, source_v}, {luma_pitch_, chroma_pitch_, chroma_pitch_}};
  return filter_.filter(source, FrameDestination{{nullptr, u, v}, {0, chroma_pitch_, chroma_pitch_}});
}

}  // namespace quillfen::cli
