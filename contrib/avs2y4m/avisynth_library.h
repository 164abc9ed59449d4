// AviSynth+ itself, loaded when the command runs rather than linked: the
// command builds without the library and finds whichever AviSynth+ the user
// has (or the one named), and says plainly when there is none.
#pragma once

#include <avisynth.h>

#include <string>

namespace quillfen::avs2y4m {

// The library the command loads when none is named: found the way the system
// finds any shared library (LD_LIBRARY_PATH, the command's run path, the
// system's library cache).
inline constexpr const char* kDefaultAviSynthLibrary = "libavisynth.so";

// A script environment of a loaded AviSynth+, deleted with the object.
class ScriptEnvironment {
 public:
  // Throws CommandError naming `library` and the system's reason when it
  // cannot be loaded or makes no environment.
  explicit ScriptEnvironment(const std::string& library);
  ~ScriptEnvironment();
  ScriptEnvironment(const ScriptEnvironment&) = delete;
  ScriptEnvironment& operator=(const ScriptEnvironment&) = delete;

  IScriptEnvironment* get() const { return env_; }
  IScriptEnvironment* operator->() const { return env_; }
  // The file the library was loaded from.
  const std::string& library_path() const { return library_path_; }

 private:
  IScriptEnvironment* env_ = nullptr;
  std::string library_path_;
};

}  // namespace quillfen::avs2y4m
