// The Quillfen filter linked into the command itself, in the builds that
// carry it: on Windows the AviSynth plugin beside the command binds through
// AviSynth's C API, which the embedded server does not host, and a 2.5
// module is only safe between a host and a plugin of the same compiler. The
// command's own copy needs no file beside it and cannot be mistaken for one
// to install into an AviSynth.
#pragma once

#include "host/avisynth_interface.h"

namespace quillfen::cli {

using PluginInit = const char*(AVS_STDCALL*)(IScriptEnvironment*);

// The linked-in filter's AvisynthPluginInit2, or null where the command
// loads the plugin module instead.
PluginInit builtin_filter();

}  // namespace quillfen::cli
