#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <set>
#include <stdexcept>

namespace velbrook::testing {
namespace {

// Only a client that is broken takes this long; the tests never wait for it to pass.
constexpr std::chrono::seconds kSafetyLimit(20);
constexpr std::string_view kEndOfHead = "\r\n\r\n";
constexpr size_t kReadChunk = 65536;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Waits for fd to become readable or the stop fd to fire; false on stop.
bool WaitReadable(int fd, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

Step Reply(std::string bytes, Step::Then then) { return Step{std::move(bytes), then}; }
Step ReplyAndClose(std::string bytes) { return Reply(std::move(bytes), Step::Then::Close); }
Step ReplyAndReset(std::string bytes) { return Reply(std::move(bytes), Step::Then::Reset); }
Step StallAfter(std::string bytes) { return Reply(std::move(bytes), Step::Then::Stall); }
Step HeldReply(std::string bytes, Step::Then then) {
  Step step = Reply(std::move(bytes), then);
  step.holdUntilReleased = true;
  return step;
}

struct ScriptedServer::Shared {
  mutable std::mutex lock;
  mutable std::condition_variable changed;
  int accepted = 0;
  int releases = 0;
  size_t repliesSent = 0;
  bool stopping = false;
  std::vector<ReceivedRequest> requests;
  std::set<int> clientClosed;
  std::set<int> serverClosed;
};

ScriptedServer::ScriptedServer(std::vector<Script> scripts)
    : shared_(std::make_shared<Shared>()), scripts_(std::move(scripts)) {
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) throw std::runtime_error("test server: no event fd");
  listenFd_ = ListenOnLoopback(port_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard guard(shared_->lock);
    shared_->stopping = true;
  }
  shared_->changed.notify_all();
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
  acceptThread_.join();
  for (std::thread& thread : connectionThreads_) thread.join();
  close(listenFd_);
  close(stopFd_);
}

void ScriptedServer::AcceptLoop() {
  while (WaitReadable(listenFd_, stopFd_)) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int connection;
    {
      std::lock_guard guard(shared_->lock);
      connection = shared_->accepted++;
    }
    shared_->changed.notify_all();
    std::lock_guard guard(threadsLock_);
    connectionThreads_.emplace_back([this, fd, connection] { Serve(fd, connection); });
  }
}

void ScriptedServer::Serve(int fd, int connection) {
  const Script empty;
  const Script& script =
      connection < static_cast<int>(scripts_.size()) ? scripts_[connection] : empty;
  std::string pending;
  bool clientOpen = true;

  // Reads until one whole head has arrived and records it; false when the client closed first.
  auto readRequest = [&]() -> bool {
    for (;;) {
      if (const size_t end = pending.find(kEndOfHead); end != std::string::npos) {
        std::string head = pending.substr(0, end + kEndOfHead.size());
        pending.erase(0, head.size());
        {
          std::lock_guard guard(shared_->lock);
          shared_->requests.push_back({connection, std::move(head)});
        }
        shared_->changed.notify_all();
        return true;
      }
      if (!WaitReadable(fd, stopFd_)) return false;
      char chunk[kReadChunk];
      const ssize_t received = recv(fd, chunk, sizeof chunk, 0);
      if (received <= 0) {
        clientOpen = false;
        return false;
      }
      pending.append(chunk, static_cast<size_t>(received));
    }
  };
  auto holdUntilReleased = [&]() -> bool {
    std::unique_lock guard(shared_->lock);
    shared_->changed.wait(guard, [&] { return shared_->releases > 0 || shared_->stopping; });
    if (shared_->stopping) return false;
    --shared_->releases;
    return true;
  };

  Step::Then then = Step::Then::Keep;
  size_t at = 0;
  for (; at < script.size() && then == Step::Then::Keep; ++at) {
    const Step& step = script[at];
    if (step.awaitRequest && !readRequest()) break;
    if (step.holdUntilReleased && !holdUntilReleased()) break;
    const bool sent = SendAll(fd, step.bytes);
    {
      std::lock_guard guard(shared_->lock);
      ++shared_->repliesSent;
    }
    shared_->changed.notify_all();
    if (!sent) break;
    then = step.then;
  }
  if (then == Step::Then::Keep && clientOpen && at == script.size()) {
    // A request the script has no answer for is recorded and the connection closed.
    readRequest();
  }
  switch (then) {
    case Step::Then::Reset: {
      linger hard{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      break;
    }
    case Step::Then::Stall:
      // Nothing more is sent; what the client still sends is read and
      // dropped, so that its close is seen.
      while (clientOpen && WaitReadable(fd, stopFd_)) {
        char chunk[kReadChunk];
        if (recv(fd, chunk, sizeof chunk, 0) <= 0) clientOpen = false;
      }
      break;
    case Step::Then::Close:
    case Step::Then::Keep:
      // An orderly close, then read until the client closes too, so that
      // nothing it still sends turns the close into a reset.
      shutdown(fd, SHUT_WR);
      {
        std::lock_guard guard(shared_->lock);
        shared_->serverClosed.insert(connection);
      }
      shared_->changed.notify_all();
      while (clientOpen && WaitReadable(fd, stopFd_)) {
        char chunk[kReadChunk];
        if (recv(fd, chunk, sizeof chunk, 0) <= 0) clientOpen = false;
      }
      break;
  }
  if (!clientOpen) {
    std::lock_guard guard(shared_->lock);
    shared_->clientClosed.insert(connection);
  }
  shared_->changed.notify_all();
  close(fd);
}

int ScriptedServer::ConnectionsAccepted() const {
  std::lock_guard guard(shared_->lock);
  return shared_->accepted;
}

std::vector<ReceivedRequest> ScriptedServer::Requests() const {
  std::lock_guard guard(shared_->lock);
  return shared_->requests;
}

std::string ScriptedServer::Request(size_t index) const {
  std::lock_guard guard(shared_->lock);
  return index < shared_->requests.size() ? shared_->requests[index].bytes : std::string();
}

bool ScriptedServer::WaitForRequests(size_t count) const {
  std::unique_lock guard(shared_->lock);
  return shared_->changed.wait_for(guard, kSafetyLimit,
                                   [&] { return shared_->requests.size() >= count; });
}

bool ScriptedServer::WaitForClientClose(int connection) const {
  std::unique_lock guard(shared_->lock);
  return shared_->changed.wait_for(guard, kSafetyLimit,
                                   [&] { return shared_->clientClosed.count(connection) > 0; });
}

bool ScriptedServer::WaitForServerClose(int connection) const {
  std::unique_lock guard(shared_->lock);
  return shared_->changed.wait_for(guard, kSafetyLimit,
                                   [&] { return shared_->serverClosed.count(connection) > 0; });
}

bool ScriptedServer::WaitForReplies(size_t count) const {
  std::unique_lock guard(shared_->lock);
  return shared_->changed.wait_for(guard, kSafetyLimit,
                                   [&] { return shared_->repliesSent >= count; });
}

void ScriptedServer::Release() {
  {
    std::lock_guard guard(shared_->lock);
    ++shared_->releases;
  }
  shared_->changed.notify_all();
}

uint16_t UnusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("no free loopback port");
  close(fd);
  return ntohs(address.sin_port);
}

int ListenOnLoopback(uint16_t& port, int backlog) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("loopback listener: no socket");
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("loopback listener: cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace velbrook::testing
