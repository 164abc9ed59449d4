// The --plugin road: one worker's own filter chain, its own script
// environment with the given 2.5 plugin module loaded, a source clip fed
// with frames from outside, and the clip that one "Quillfen" call built over
// it. Used by one thread at a time.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/avisynth_interface.h"
#include "server/script_environment.h"
#include "server/y4m_source_clip.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

// Loads the module at `path` into `env` and returns its version text.
// Throws CommandError with one line naming the module when it cannot be
// loaded or has no Quillfen function.
std::string load_quillfen_plugin(server::ScriptEnvironment& env, const std::string& path);

class FilterChain {
 public:
  // Loads the plugin and calls "Quillfen" with the text arguments. Throws
  // CommandError with the line to print (the filter's own message exactly)
  // when the plugin, the arguments or the filter refuse.
  FilterChain(const std::string& plugin_path, const y4m::Y4mHeader& header, int num_frames,
              const std::vector<std::pair<std::string, std::string>>& filter_arguments);
  FilterChain(const FilterChain&) = delete;
  FilterChain& operator=(const FilterChain&) = delete;

  // Filters frame n, made from its Y4M planes as `source`, into `output`.
  // Throws CommandError with the line to print. The plugin interface
  // carries no figures with a frame, so its passes are not known here.
  void filter(int n, const PVideoFrame& source, PVideoFrame& output);

 private:
  void check_output_format(const y4m::Y4mHeader& header);

  // Declared before the clips so that it goes after them: they run plugin
  // code and return frames to its pool while they are released.
  server::ScriptEnvironment env_;
  PClip source_clip_;
  server::Y4mSourceClip* source_ = nullptr;  // the clip source_clip_ holds
  PClip output_;
};

}  // namespace quillfen::cli
