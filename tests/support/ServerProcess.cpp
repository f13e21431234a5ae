#include "tests/support/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tests/support/ScriptedServer.h"

extern char** environ;

namespace velbrook::testing {
namespace {

constexpr int kTries = 3;
// A server that is not up after this long will not come up.
constexpr std::chrono::seconds kStartLimit(20);
constexpr std::chrono::seconds kStopLimit(10);
constexpr std::chrono::milliseconds kPollPause(20);

bool Accepts(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// Whether pid has ended within limit, reaping it.
bool Ended(pid_t pid, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kPollPause);
  }
}

std::string Tail(const std::filesystem::path& log) {
  std::ifstream file(log, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(file), {});
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace

ServerProcess::ServerProcess(const std::function<std::vector<std::string>(uint16_t)>& commandFor,
                             std::filesystem::path log)
    : log_(std::move(log)) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    port_ = UnusedLoopbackPort();
    if (Start(commandFor(port_))) return;
  }
  throw std::runtime_error("the server did not come up; its log ends:\n" + Tail(log_));
}

ServerProcess::~ServerProcess() { Stop(); }

bool ServerProcess::Start(const std::vector<std::string>& command) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    return false;
  }
  const auto until = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < until) {
    if (Accepts(port_)) return true;
    if (Ended(pid_, kPollPause)) {
      pid_ = -1;
      return false;
    }
  }
  Stop();
  return false;
}

void ServerProcess::Stop() {
  if (pid_ < 0) return;
  kill(pid_, SIGTERM);
  if (!Ended(pid_, kStopLimit)) {
    kill(pid_, SIGKILL);
    Ended(pid_, kStopLimit);
  }
  pid_ = -1;
}

}  // namespace velbrook::testing
