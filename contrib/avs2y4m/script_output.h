// Runs a script in AviSynth+ and writes the frames of the clip it returns as
// Y4M: the command's one job.
#pragma once

#include <string>

#include "contrib/avs2y4m/avisynth_library.h"

namespace quillfen::avs2y4m {

// Evaluates `script` (a path) and writes its clip to `output` ("-" for
// standard output), with the progress line when `progress` is set. Returns
// the exit status; throws CommandError with the one line to print, an
// AviSynth+ error as AviSynth+ words it.
int write_script_output(ScriptEnvironment& env, const std::string& script, const std::string& output, bool progress);

}  // namespace quillfen::avs2y4m
