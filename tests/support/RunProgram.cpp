#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace velbrook::testing {

bool ProgramInstalled(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string folder = rest.substr(0, colon);
    if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    rest.erase(0, colon + 1);
  }
  return false;
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
