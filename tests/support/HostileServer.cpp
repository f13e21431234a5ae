#include "tests/support/HostileServer.h"

#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace velbrook::testing {
namespace {

// Only a client that is broken takes this long; no test waits for it to pass.
constexpr std::chrono::seconds kSafetyLimit(60);
// How long a loopback handshake may take before its connect counts as unanswered.
constexpr int kHandshakeSettleMs = 200;
constexpr std::string_view kEndOfHead = "\r\n\r\n";
constexpr size_t kReadChunk = 65536;

// Waits for events on fd or the stop fd; false on stop (or a broken poll).
bool WaitFor(int fd, short events, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

}  // namespace

bool Peer::ReadRequest() {
  for (;;) {
    if (const size_t end = pending_.find(kEndOfHead); end != std::string::npos) {
      lastRequest_ = pending_.substr(0, end + kEndOfHead.size());
      pending_.erase(0, lastRequest_.size());
      return true;
    }
    if (!WaitFor(fd_, POLLIN, stopFd_)) return false;
    char chunk[kReadChunk];
    const ssize_t received = recv(fd_, chunk, sizeof chunk, 0);
    if (received <= 0) return false;
    pending_.append(chunk, static_cast<size_t>(received));
  }
}

bool Peer::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!WaitFor(fd_, POLLOUT, stopFd_)) return false;
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

uint64_t Peer::Stream(std::string_view unit, uint64_t maxBytes) {
  std::string block;
  while (block.size() < kReadChunk) block += unit;
  uint64_t sent = 0;
  while (sent < maxBytes && Send(block)) sent += block.size();
  return sent;
}

bool Peer::AwaitClientClose() {
  while (WaitFor(fd_, POLLIN, stopFd_)) {
    char chunk[kReadChunk];
    if (recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
  }
  return false;
}

void Peer::AwaitStop() {
  pollfd stop{stopFd_, POLLIN, 0};
  while (poll(&stop, 1, -1) < 0 && errno == EINTR) {
  }
}

void Peer::Reset() {
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

HostileServer::HostileServer(std::vector<Handler> handlers) : handlers_(std::move(handlers)) {
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) throw std::runtime_error("hostile server: no event fd");
  listenFd_ = ListenOnLoopback(port_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HostileServer::~HostileServer() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
  acceptThread_.join();
  for (std::thread& thread : connectionThreads_) thread.join();
  close(listenFd_);
  close(stopFd_);
}

void HostileServer::AcceptLoop() {
  while (WaitFor(listenFd_, POLLIN, stopFd_)) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int connection = accepted_.fetch_add(1);
    std::lock_guard guard(threadsLock_);
    connectionThreads_.emplace_back([this, fd, connection] {
      if (connection < static_cast<int>(handlers_.size())) {
        Peer peer(fd, stopFd_);
        handlers_[connection](peer);
      }
      close(fd);
      {
        std::lock_guard finishedGuard(finishedLock_);
        ++finished_;
      }
      finishedChanged_.notify_all();
    });
  }
}

bool HostileServer::WaitForHandlers() const {
  std::unique_lock guard(finishedLock_);
  return finishedChanged_.wait_for(guard, kSafetyLimit,
                                   [&] { return finished_ >= accepted_.load(); });
}

SilentListener::SilentListener() {
  listenFd_ = ListenOnLoopback(port_, /*backlog=*/0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Fill the accept queue until a connect is left waiting: from then on
  // every new connect waits too. A filler counts as waiting only once its
  // handshake has had time to finish and has not: on a loaded machine a
  // handshake that will complete can still be half-way when first looked at,
  // and counting it would make the fillers' share too large later.
  const auto deadline = std::chrono::steady_clock::now() + kSafetyLimit;
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline || fillers_.size() > 16)
      throw std::runtime_error("silent listener: the queue never filled");
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    fillers_.push_back(filler);
    connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd handshake{filler, POLLOUT, 0};
    if (poll(&handshake, 1, kHandshakeSettleMs) == 0) break;  // left waiting
  }
  fillerPending_ = PendingConnects();
}

SilentListener::~SilentListener() {
  for (int filler : fillers_) close(filler);
  close(listenFd_);
}

int SilentListener::PendingConnects() const {
  // /proc/net/tcp: "sl local rem st ...", addresses as HEX_IP:HEX_PORT, state 02 = SYN_SENT.
  FILE* table = std::fopen("/proc/net/tcp", "r");
  if (table == nullptr) return 0;
  char remote[64], state[8];
  int count = 0;
  char line[512];
  while (std::fgets(line, sizeof line, table) != nullptr) {
    if (std::sscanf(line, "%*s %*s %63s %7s", remote, state) != 2) continue;
    const char* colon = std::strchr(remote, ':');
    if (colon != nullptr && std::strtoul(colon + 1, nullptr, 16) == port_ &&
        std::strcmp(state, "02") == 0)
      ++count;
  }
  std::fclose(table);
  return count - fillerPending_;
}

uint64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // Linux reports KiB
}

}  // namespace velbrook::testing
