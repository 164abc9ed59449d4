#include "contrib/avs2y4m/script_output.h"

#include <atomic>
#include <vector>

#include "cli/command_error.h"
#include "cli/progress_line.h"
#include "contrib/avs2y4m/frame_properties.h"
#include "contrib/avs2y4m/output_file.h"
#include "contrib/avs2y4m/stop_guard.h"
#include "contrib/avs2y4m/y4m_output.h"
#include "contrib/avs2y4m/y4m_source.h"
#include "system/stop_requests.h"
#include "y4m/y4m_header.h"

namespace quillfen::avs2y4m {
namespace {

using cli::CommandError;

// AviSynth+ puts the script position on a line of its own; the command
// prints one line.
std::string one_line(const char* message) {
  std::string line = message && *message ? message : "AviSynth+ failed without a message";
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  for (char& c : line)
    if (c == '\n') c = ' ';
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return line;
}

int write_frames(IScriptEnvironment* env, const std::string& script, const std::string& output, bool show_progress) {
  add_y4m_source(env);
  const AVSValue script_path(script.c_str());
  const AVSValue result = env->Invoke("Import", AVSValue(&script_path, 1));
  if (!result.IsClip()) throw CommandError("avs2y4m: " + script + " gives no clip; its last line must be one");
  const PClip clip = result.AsClip();
  const VideoInfo& vi = clip->GetVideoInfo();
  const y4m::Y4mFormat format = y4m_format_of_clip(clip, env);

  // From here on a Ctrl-C stops the command between frames, so that the
  // partial output is removed; inside a long frame the guard does it.
  const std::atomic<bool>& stop = system::catch_stop_requests();
  OutputFile file(output);
  StopGuard guard(stop, file, output);
  cli::ProgressLine progress(show_progress, vi.num_frames, "avs2y4m");
  std::vector<BYTE> record;
  try {
    // The header's picture tags come from the first frame's properties.
    PVideoFrame first = vi.num_frames > 0 ? clip->GetFrame(0, env) : PVideoFrame();
    const y4m::Y4mHeader header = y4m_stream_header(
        vi, format,
        vi.num_frames > 0 && has_frame_properties(env) ? frame_properties_of(env, first) : PictureProperties{});
    const std::string header_line = y4m::format_y4m_header(header);
    file.write(header_line.data(), header_line.size());
    for (int n = 0; n < vi.num_frames; ++n) {
      if (stop.load())
        throw CommandError("avs2y4m: interrupted after " + std::to_string(n) + " frames" +
                               (file.whole_or_nothing() ? "; " + output + " not written" : ""),
                           cli::kExitInterrupted);
      build_y4m_record(vi, header, n == 0 ? first : clip->GetFrame(n, env), record);
      first = PVideoFrame();
      {
        const StopGuard::Writing writing(guard);
        file.write(record.data(), record.size());
      }
      progress.frame_written();
    }
  } catch (const OutputClosed&) {
    progress.finish();
    return cli::kExitOk;
  } catch (...) {
    progress.finish();
    throw;
  }
  progress.finish();
  guard.finish();
  file.commit();
  return cli::kExitOk;
}

}  // namespace

int write_script_output(ScriptEnvironment& env, const std::string& script, const std::string& output,
                        bool progress) {
  try {
    return write_frames(env.get(), script, output, progress);
  } catch (const AvisynthError& error) {
    // The message belongs to the environment, which is still alive here.
    throw CommandError(one_line(error.msg));
  }
}

}  // namespace quillfen::avs2y4m
