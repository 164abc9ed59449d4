// The embedded frame server's script environment: the host side of the
// plugin interface. One environment per worker thread, used by one thread at
// a time; environments share nothing. Frames and clips made here may be
// released on other threads.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/avisynth_interface.h"
#include "server/frame_pool.h"
#include "server/function_registry.h"
#include "server/plugin_module.h"
#include "server/server_error.h"
#include "server/string_store.h"
#include "server/variable_store.h"

namespace quillfen::server {

class ScriptEnvironment final : public IScriptEnvironment {
 public:
  // Registers the built-in functions ConvertToYUY2 and ConvertToYV12.
  ScriptEnvironment();
  // Runs the AtExit functions (last registered first), then frees the frame
  // pool and unloads the plugins. Every frame and every clip made by a plugin
  // must have been released by then.
  ~ScriptEnvironment() override;

  ScriptEnvironment(const ScriptEnvironment&) = delete;
  ScriptEnvironment& operator=(const ScriptEnvironment&) = delete;

  // Loads a plugin module, calls its AvisynthPluginInit2(this) and returns
  // the text it returned (empty for null). Throws ServerError with one line
  // when the module cannot be loaded, has no entry point or its entry point
  // raises an error.
  std::string load_plugin(const std::string& path);

  // Calls a registered function the way a command line gives its arguments:
  // `clip` first, then name=value pairs whose texts are converted to the
  // kinds the function's signature asks for (int with overflow check, bool
  // true/false, float, string). Throws ServerError for an unknown function,
  // ArgumentError naming the function and its valid argument names for an
  // unknown name, a bad value or an argument given twice; errors the
  // function raises pass unchanged.
  AVSValue invoke_with_text(const std::string& name, PClip clip,
                            const std::vector<std::pair<std::string, std::string>>& named_text);

  // Bytes held by the frame pool, for callers that watch memory use.
  const FramePool& frame_pool() const { return pool_; }

  long AVS_STDCALL GetCPUFlags() override;
  char* AVS_STDCALL SaveString(const char* s, int length = -1) override;
  char* AVS_STDCALL Sprintf(const char* fmt, ...) override;
  char* AVS_STDCALL VSprintf(const char* fmt, void* val) override;
  [[noreturn]] void AVS_STDCALL ThrowError(const char* fmt, ...) override;
  void AVS_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) override;
  bool AVS_STDCALL FunctionExists(const char* name) override;
  AVSValue AVS_STDCALL Invoke(const char* name, const AVSValue args, const char** arg_names = nullptr) override;
  AVSValue AVS_STDCALL GetVar(const char* name) override;
  bool AVS_STDCALL SetVar(const char* name, const AVSValue& val) override;
  bool AVS_STDCALL SetGlobalVar(const char* name, const AVSValue& val) override;
  void AVS_STDCALL PushContext(int level = 0) override;
  void AVS_STDCALL PopContext() override;
  PVideoFrame AVS_STDCALL NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) override;
  bool AVS_STDCALL MakeWritable(PVideoFrame* pvf) override;
  void AVS_STDCALL BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch, int row_size,
                          int height) override;
  void AVS_STDCALL AtExit(ShutdownFunc function, void* user_data) override;
  void AVS_STDCALL CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) override;
  PVideoFrame AVS_STDCALL Subframe(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                   int new_height) override;
  int AVS_STDCALL SetMemoryMax(int mem) override;
  int AVS_STDCALL SetWorkingDir(const char* newdir) override;
  void* AVS_STDCALL ManageCache(int key, void* data) override;
  bool AVS_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode key) override;
  PVideoFrame AVS_STDCALL SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                         int new_height, int rel_offsetU, int rel_offsetV,
                                         int new_pitchUV) override;

 private:
  [[noreturn]] void throw_message(const std::string& message);
  const RegisteredFunction& function_named(const char* name);

  // Declared first so that it goes last: clips and values held below may
  // still run code of a loaded plugin while they are destroyed.
  std::vector<PluginModule> modules_;
  StringStore strings_;
  FunctionRegistry functions_;
  VariableStore variables_;
  FramePool pool_;
  std::vector<std::pair<ShutdownFunc, void*>> at_exit_;
};

}  // namespace quillfen::server
