// The script function "Quillfen" on AviSynth+'s C interface: same name,
// arguments, defaults, checks and messages as the 2.5 module's, for every
// format frame_format_of takes, each through the host-free frame filter.
// Nothing the host calls lets an exception out: every failure is returned
// as the interface's error value or set as the filter's error.
#pragma once

#include "plugin/avisynth_c/avisynth_c.h"
#include "plugin/avisynth_c/host_api.h"

namespace quillfen {

// The host's callback for a call; `user_data` is the environment's HostApi.
AVS_Value AVSC_CC create_quillfen_c(AVS_ScriptEnvironment* env, AVS_Value args, void* user_data) noexcept;

}  // namespace quillfen
