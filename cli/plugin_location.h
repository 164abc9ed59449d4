// Where the command finds the Quillfen plugin module, and loading it with a
// line that tells the user what to do when that fails.
#pragma once

#include <string>

#include "server/script_environment.h"

namespace quillfen::cli {

// The module to load: `given` (the --plugin path) when it is not empty;
// otherwise empty in a build with the filter linked in (builtin_filter.h);
// otherwise libquillfen.so beside the executable, as in a build tree, or
// else the installed one in the plugin directory relative to the
// executable, so that an installation moved elsewhere still finds it.
// Throws CommandError naming both places when neither holds the module.
std::string plugin_path(const std::string& given);

// The plugin_path() result as a user reads it.
std::string plugin_shown(const std::string& path);

// Loads the module into `env`, or starts the linked-in filter there when
// `path` is empty, and returns its version text. Throws CommandError with a
// "quillfen:" line that names --plugin when it cannot.
std::string load_plugin(server::ScriptEnvironment& env, const std::string& path);

}  // namespace quillfen::cli
