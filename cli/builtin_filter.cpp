#include "cli/builtin_filter.h"

// The plugin's own entry, from the filter's sources linked into the command.
extern "C" const char* AVS_STDCALL AvisynthPluginInit2(IScriptEnvironment* env);

namespace quillfen::cli {

PluginInit builtin_filter() { return AvisynthPluginInit2; }

}  // namespace quillfen::cli
