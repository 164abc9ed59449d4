#include "cli/plugin_worker.h"

#include <optional>
#include <string>

#include "cli/command_error.h"
#include "filter/quillfen_parameters.h"
#include "host/avisynth_interface.h"
#include "server/frame_layout.h"
#include "server/frame_pool.h"
#include "server/script_environment.h"
#include "server/server_error.h"
#include "server/y4m_frame_conversion.h"
#include "server/y4m_source_clip.h"
#include "server/y4m_video_info.h"

namespace quillfen::cli {
namespace {

// The line for the exception being handled, taken while the environment
// that raised a script error, and owns its text, is still alive: a script
// error's message exactly as raised, the server's messages as they are.
std::string server_exception_line() {
  try {
    throw;
  } catch (const AvisynthError& error) {
    return error.msg ? error.msg : "quillfen: the filter failed without a message";
  } catch (const server::ServerError& error) {
    return error.what();
  } catch (const IScriptEnvironment::NotFound&) {
    return "quillfen: a script function was not found";
  } catch (...) {
    return current_exception_line();
  }
}

// Loads the module at `path` into `env` and returns its version text.
std::string load_quillfen_plugin(server::ScriptEnvironment& env, const std::string& path) {
  std::string version;
  try {
    version = env.load_plugin(path);
  } catch (const server::ServerError& error) {
    throw CommandError(std::string("quillfen: --plugin: ") + error.what());
  }
  if (!env.FunctionExists(kQuillfenFunctionName))
    throw CommandError("quillfen: --plugin: \"" + path + "\" registers no " + kQuillfenFunctionName +
                       " function; give the Quillfen plugin module");
  return version;
}

class PluginWorker final : public FrameWorker {
 public:
  PluginWorker(const std::string& path, const y4m::Y4mHeader& header, int num_frames,
               const std::vector<std::pair<std::string, std::string>>& arguments);

  std::optional<int> filter(int n, std::uint8_t* planes) override;
  void stop() override {}

 private:
  void check_output_format();

  const y4m::Y4mHeader header_;
  // The frames made from the planes the worker is given; declared first,
  // so that it goes after the chain, which may still hold one.
  server::FramePool source_frames_;
  server::FrameLayout source_layout_;
  // Declared before the clips so that it goes after them: they run plugin
  // code and return frames to its pool while they are released.
  server::ScriptEnvironment env_;
  PClip source_clip_;
  server::Y4mSourceClip* source_ = nullptr;  // the clip source_clip_ holds
  PClip output_;
};

PluginWorker::PluginWorker(const std::string& path, const y4m::Y4mHeader& header, int num_frames,
                           const std::vector<std::pair<std::string, std::string>>& arguments)
    : header_(header) {
  // Script errors hold text that the environment owns: each is turned into
  // its line here, while the environment is still alive.
  try {
    source_layout_ = server::frame_layout(server::y4m_video_info(header, 1), FRAME_ALIGN);
    load_quillfen_plugin(env_, path);
    source_ = new server::Y4mSourceClip(header, num_frames);
    source_clip_ = source_;
  } catch (...) {
    throw CommandError(server_exception_line());
  }
  // Arguments that do not fit the function, and values the filter refuses
  // for this clip, are mistakes on the command line.
  try {
    output_ = env_.invoke_with_text(kQuillfenFunctionName, source_clip_, arguments).AsClip();
  } catch (const server::ArgumentError&) {
    throw CommandError(server_exception_line(), kExitUsage);
  } catch (const AvisynthError&) {
    throw CommandError(server_exception_line(), kExitUsage);
  } catch (...) {
    throw CommandError(server_exception_line());
  }
  check_output_format();
}

void PluginWorker::check_output_format() {
  if (!output_) throw CommandError(std::string("quillfen: ") + kQuillfenFunctionName + " returned no clip");
  const VideoInfo& vi = output_->GetVideoInfo();
  const bool same_format = header_.chroma == y4m::Y4mChroma::k422 ? vi.IsYUY2() : vi.IsYV12();
  if (!same_format || vi.width != header_.width || vi.height != header_.height)
    throw CommandError(std::string("quillfen: ") + kQuillfenFunctionName +
                       " returned a clip of another size or format than its input");
}

std::optional<int> PluginWorker::filter(int n, std::uint8_t* planes) {
  try {
    const PVideoFrame source = source_frames_.acquire(source_layout_);
    server::y4m_planes_to_frame(header_, planes, source);
    // The source clip lends the frame only while the chain asks for it.
    struct Lend {
      server::Y4mSourceClip& clip;
      ~Lend() { clip.supply(-1, nullptr); }
    } lend{*source_};
    source_->supply(n, &source);
    const PVideoFrame output = output_->GetFrame(n, &env_);
    if (!output) throw CommandError("quillfen: the filter returned no frame " + std::to_string(n));
    server::frame_to_y4m_planes(header_, output, planes);
  } catch (...) {
    throw CommandError(server_exception_line());
  }
  return std::nullopt;
}

}  // namespace

bool plugin_takes(const y4m::Y4mHeader& header) { return server::y4m_fits_host_frames(header); }

std::string plugin_version(const std::string& path) {
  server::ScriptEnvironment env;
  return load_quillfen_plugin(env, path);
}

std::unique_ptr<FrameWorker> make_plugin_worker(const std::string& path, const y4m::Y4mHeader& header,
                                                int num_frames,
                                                const std::vector<std::pair<std::string, std::string>>& arguments) {
  return std::make_unique<PluginWorker>(path, header, num_frames, arguments);
}

}  // namespace quillfen::cli
