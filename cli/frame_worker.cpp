#include "cli/frame_worker.h"

#include "cli/direct_filter.h"
#include "cli/plugin_worker.h"

namespace quillfen::cli {

std::unique_ptr<FrameWorker> make_frame_worker(const CommandOptions& options, const y4m::Y4mHeader& header,
                                               int num_frames) {
  if (!options.plugin_path.empty() && plugin_takes(header))
    return make_plugin_worker(options.plugin_path, header, num_frames, options.filter_arguments);
  return std::make_unique<DirectFilter>(header, options.filter_arguments);
}

}  // namespace quillfen::cli
