#include "cli/plugin_location.h"

#include <filesystem>

#include "cli/builtin_filter.h"
#include "cli/command_error.h"
#include "cli/stream_files.h"
#include "server/server_error.h"

namespace quillfen::cli {
namespace {

constexpr const char kPluginFileName[] = "libquillfen.so";
constexpr const char kGivePath[] = "; give the plugin's path with --plugin";

}  // namespace

std::string plugin_path(const std::string& given) {
  if (!given.empty()) return given;
  if (builtin_filter()) return {};
  const std::filesystem::path directory = executable_directory();
  const std::filesystem::path beside = directory / kPluginFileName;
  const std::filesystem::path installed = directory / QUILLFEN_INSTALLED_PLUGIN_DIR / kPluginFileName;
  std::error_code error;
  if (std::filesystem::exists(beside, error)) return beside.string();
  if (std::filesystem::exists(installed, error)) return installed.lexically_normal().string();
  throw CommandError("quillfen: no plugin at " + beside.string() + " or " + installed.lexically_normal().string() +
                     kGivePath);
}

std::string plugin_shown(const std::string& path) { return path.empty() ? "built into quillfen" : path; }

std::string load_plugin(server::ScriptEnvironment& env, const std::string& path) {
  try {
    if (path.empty()) return builtin_filter()(&env);
    return env.load_plugin(path);
  } catch (const server::ServerError& error) {
    throw CommandError(std::string("quillfen: ") + error.what() + kGivePath);
  }
}

}  // namespace quillfen::cli
