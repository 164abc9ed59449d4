#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace quillfen {

ProcessOutcome run_process(const std::vector<std::string>& arguments, const std::filesystem::path& output_file,
                           const std::vector<std::string>& environment) {
  std::vector<std::string> owned_arguments = arguments;
  std::vector<char*> argv;
  for (std::string& argument : owned_arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> owned_environment = environment;
  std::vector<char*> envp;
  for (std::string& entry : owned_environment) envp.push_back(entry.data());
  for (char** entry = environ; *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    const std::size_t name_length = equals ? static_cast<std::size_t>(equals - *entry) + 1 : std::strlen(*entry);
    bool overridden = false;
    for (const std::string& added : environment) overridden |= added.compare(0, name_length, *entry, name_length) == 0;
    if (!overridden) envp.push_back(*entry);
  }
  envp.push_back(nullptr);

  int errors[2];
  if (pipe(errors) != 0) return {-1, "pipe failed"};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output_file.empty() ? "/dev/null" : output_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
  posix_spawn_file_actions_addclose(&actions, errors[0]);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(errors[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(errors[0], buffer, sizeof buffer)) != 0;)
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
    else if (errno != EINTR) break;
  close(errors[0]);
  if (spawned != 0) return {-1, "cannot run " + arguments[0] + ": " + std::strerror(spawned)};
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

}  // namespace quillfen
