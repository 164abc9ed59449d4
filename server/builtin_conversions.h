// The frame server's own script functions ConvertToYUY2 (YV12/I420 to YUY2)
// and ConvertToYV12 (YUY2 to YV12), each with signature "c". A clip already
// in the asked-for family is returned as it is (an I420 clip counts as
// YV12); other formats are refused. Frames come from the pool of the
// environment that asks for them.
#pragma once

#include "host/avisynth_interface.h"

namespace quillfen::server {

void register_builtin_conversions(IScriptEnvironment& env);

}  // namespace quillfen::server
