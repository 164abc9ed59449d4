#include "cli/frame_worker.h"

#include "cli/command_error.h"
#include "server/frame_layout.h"
#include "server/frame_pool.h"
#include "server/y4m_frame_conversion.h"
#include "server/y4m_video_info.h"

namespace quillfen::cli {

FrameWorker make_frame_worker(const CommandOptions& options, const y4m::Y4mHeader& header, int num_frames) {
  if (!options.plugin_path.empty() && server::y4m_fits_host_frames(header))
    return std::make_unique<FilterChain>(options.plugin_path, header, num_frames, options.filter_arguments);
  return std::make_unique<DirectFilter>(header, options.filter_arguments);
}

std::optional<int> filter_frame_in_place(FrameWorker& worker, const y4m::Y4mHeader& header, int n, BYTE* planes) {
  try {
    if (auto* direct = std::get_if<std::unique_ptr<DirectFilter>>(&worker)) return (*direct)->filter(planes);
    server::FramePool frames;
    const PVideoFrame source =
        frames.acquire(server::frame_layout(server::y4m_video_info(header, 1), FRAME_ALIGN));
    server::y4m_planes_to_frame(header, planes, source);
    PVideoFrame output;
    std::get<std::unique_ptr<FilterChain>>(worker)->filter(n, source, output);
    server::frame_to_y4m_planes(header, output, planes);
    return std::nullopt;
  } catch (...) {
    throw CommandError(current_exception_line());
  }
}

}  // namespace quillfen::cli
