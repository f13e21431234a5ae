#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace velbrook::testing {

std::filesystem::path InstalledProgram(const std::string& name) {
  for (const char* folder : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::optional<ProgramResult> RunProgram(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (argv.empty() || pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  ProgramResult result;
  char piece[4096];
  for (;;) {
    const ssize_t received = failed ? 0 : read(pipeFds[0], piece, sizeof piece);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) break;
    result.output.append(piece, static_cast<std::size_t>(received));
  }
  close(pipeFds[0]);
  if (failed) return std::nullopt;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace velbrook::testing
