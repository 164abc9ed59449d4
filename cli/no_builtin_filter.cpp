// The builds that load the plugin module: no filter linked in.
#include "cli/builtin_filter.h"

namespace quillfen::cli {

PluginInit builtin_filter() { return nullptr; }

}  // namespace quillfen::cli
