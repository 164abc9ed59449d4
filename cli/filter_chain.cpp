#include "cli/filter_chain.h"

#include "cli/command_error.h"
#include "cli/plugin_location.h"
#include "filter/quillfen_parameters.h"
#include "server/server_error.h"

namespace quillfen::cli {

FilterChain::FilterChain(const std::string& plugin_path, const y4m::Y4mHeader& header, int num_frames,
                         const std::vector<std::pair<std::string, std::string>>& filter_arguments) {
  // Script errors hold text that the environment owns: each is turned into
  // its line here, while the environment is still alive.
  try {
    load_plugin(env_, plugin_path);
    source_ = new server::Y4mSourceClip(header, num_frames);
    source_clip_ = source_;
  } catch (...) {
    throw CommandError(current_exception_line());
  }
  // Arguments that do not fit the function, and values the filter refuses
  // for this clip, are mistakes on the command line.
  try {
    output_ = env_.invoke_with_text(kQuillfenFunctionName, source_clip_, filter_arguments).AsClip();
  } catch (const server::ArgumentError&) {
    throw CommandError(current_exception_line(), kExitUsage);
  } catch (const AvisynthError&) {
    throw CommandError(current_exception_line(), kExitUsage);
  } catch (...) {
    throw CommandError(current_exception_line());
  }
  check_output_format(header);
}

void FilterChain::check_output_format(const y4m::Y4mHeader& header) {
  if (!output_) throw CommandError(std::string("quillfen: ") + kQuillfenFunctionName + " returned no clip");
  const VideoInfo& vi = output_->GetVideoInfo();
  const bool same_format = header.chroma == y4m::Y4mChroma::k422 ? vi.IsYUY2() : vi.IsYV12();
  if (!same_format || vi.width != header.width || vi.height != header.height)
    throw CommandError(std::string("quillfen: ") + kQuillfenFunctionName +
                       " returned a clip of another size or format than its input");
}

int FilterChain::filter(int n, const PVideoFrame& source, PVideoFrame& output) {
  // The source clip lends the frame only while the chain asks for it.
  struct Lend {
    server::Y4mSourceClip& clip;
    ~Lend() { clip.supply(-1, nullptr); }
  } lend{*source_};
  try {
    source_->supply(n, &source);
    reported_passes_ = 0;
    output = output_->GetFrame(n, &env_);
    if (!output) throw CommandError("quillfen: the filter returned no frame " + std::to_string(n));
    return reported_passes_;
  } catch (...) {
    throw CommandError(current_exception_line());
  }
}

}  // namespace quillfen::cli
