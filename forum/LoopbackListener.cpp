#include "forum/LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "forum/UniqueFd.h"

namespace velbrook {
namespace {

// Bytes read from a connection at a time.
constexpr std::size_t kReceiveBytes = 16384;
constexpr int kListenBacklog = 16;
// Before closing, what the client still sends is read and dropped for so
// long and so much, so that an unread request does not turn the close into
// a reset that destroys the answer on its way.
constexpr int kLingerMs = 1000;
constexpr std::size_t kMaxLingerBytes = 65536;

using Clock = std::chrono::steady_clock;

std::system_error SystemError(const char* call) {
  return std::system_error(errno, std::generic_category(), call);
}

// A read or send that found nothing to do this time, and may be tried again.
bool Transient() { return errno == EAGAIN || errno == EINTR; }

}  // namespace

struct LoopbackListener::State {
  struct Connection;

  ListenerLimits limits;
  ServeFunction serve;

  std::atomic<bool> running{false};
  UniqueFd listenFd;
  // Written once by Stop and never read: every poll that watches it wakes.
  UniqueFd wakeRead;
  UniqueFd wakeWrite;
  uint16_t port = 0;
  std::atomic<std::size_t> acceptCount{0};
  std::thread acceptThread;

  std::mutex connectionMutex;
  std::list<std::unique_ptr<Connection>> connections;

  void AcceptLoop();
  void ReapFinished();
  std::size_t OpenConnections();
  bool EvictLongestIdle();
  void Serve(Connection& connection);

  // Waits for events on fd, or for Stop; false when stopping or at timeoutMs.
  bool WaitFor(int fd, short events, int timeoutMs) const;
  bool SendAll(int fd, std::string_view bytes) const;
  void LingeringClose(UniqueFd& fd) const;
  void WaitForStop() const;
  // Waits delayMs; false when Stop came first.
  bool PauseFor(int delayMs) const;
};

struct LoopbackListener::State::Connection final : ClientLink {
  Connection(const State& owner, UniqueFd socket, std::size_t count)
      : listener(owner), fd(std::move(socket)), number(count) {}

  std::size_t Number() const override { return number; }
  bool Receive(std::string& buffer) override;
  bool Send(std::string_view bytes) override { return listener.SendAll(fd.fd(), bytes); }
  bool Pause(int delayMs) override { return listener.PauseFor(delayMs); }
  void WaitForStop() override { listener.WaitForStop(); }

  const State& listener;
  UniqueFd fd;
  const std::size_t number;
  std::thread thread;
  std::atomic<bool> done{false};
  // While it waits for the client's bytes, a connection is idle and a new
  // client may close it to take its place.
  std::mutex idleMutex;
  bool idle = false;
  bool evicted = false;
  Clock::time_point lastHeard = Clock::now();  // the client's last bytes, or the accept
};

LoopbackListener::LoopbackListener(ListenerLimits limits, ServeFunction serve)
    : state_(std::make_unique<State>()) {
  state_->limits = limits;
  state_->serve = std::move(serve);
}

LoopbackListener::~LoopbackListener() { Stop(); }

void LoopbackListener::Start(uint16_t port) {
  State& s = *state_;
  if (s.running) return;
  // Each fd is held from its first moment, so a failure below leaves none open.
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) throw SystemError("pipe2");
  UniqueFd wakeRead(wake[0]);
  UniqueFd wakeWrite(wake[1]);
  UniqueFd listening(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listening.valid()) throw SystemError("socket");
  const int yes = 1;
  setsockopt(listening.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (bind(listening.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw SystemError("bind");
  if (listen(listening.fd(), kListenBacklog) != 0) throw SystemError("listen");
  if (getsockname(listening.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw SystemError("getsockname");
  s.listenFd = std::move(listening);
  s.wakeRead = std::move(wakeRead);
  s.wakeWrite = std::move(wakeWrite);
  s.port = ntohs(address.sin_port);
  s.running = true;
  s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
}

void LoopbackListener::Stop() {
  State& s = *state_;
  if (!s.running.exchange(false)) return;  // a failed Start left nothing open
  const char wake = 1;
  [[maybe_unused]] ssize_t written = write(s.wakeWrite.fd(), &wake, 1);
  s.acceptThread.join();
  std::list<std::unique_ptr<State::Connection>> connections;
  {
    std::lock_guard lock(s.connectionMutex);
    connections.swap(s.connections);
  }
  for (auto& connection : connections) connection->thread.join();
  s.listenFd.Close();
  s.wakeRead.Close();
  s.wakeWrite.Close();
}

bool LoopbackListener::Running() const { return state_->running; }
uint16_t LoopbackListener::Port() const { return state_->port; }
std::size_t LoopbackListener::AcceptCount() const { return state_->acceptCount; }
void LoopbackListener::ClearAcceptCount() { state_->acceptCount = 0; }

// --- The accept thread. ---

void LoopbackListener::State::AcceptLoop() {
  while (WaitFor(listenFd.fd(), POLLIN, -1)) {
    UniqueFd fd(accept4(listenFd.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) continue;  // the client gave up already, or a transient shortage
    ReapFinished();
    std::lock_guard lock(connectionMutex);
    // No place: the newcomer is closed unanswered.
    if (OpenConnections() >= limits.maxConnections && !EvictLongestIdle()) continue;
    auto connection = std::make_unique<Connection>(*this, std::move(fd), ++acceptCount);
    Connection& served = *connection;
    connections.push_back(std::move(connection));
    served.thread = std::thread([this, &served] { Serve(served); });
  }
}

void LoopbackListener::State::ReapFinished() {
  std::lock_guard lock(connectionMutex);
  for (auto it = connections.begin(); it != connections.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

// Connections not yet closed to make room for another.
std::size_t LoopbackListener::State::OpenConnections() {
  std::size_t open = 0;
  for (const auto& connection : connections) {
    std::lock_guard lock(connection->idleMutex);
    if (!connection->evicted && !connection->done) ++open;
  }
  return open;
}

// Closes the connection that has been idle longest; false when none is idle.
// Its own thread sees the close when it wakes and ends it.
bool LoopbackListener::State::EvictLongestIdle() {
  Connection* oldest = nullptr;
  std::unique_lock<std::mutex> oldestLock;
  for (const auto& connection : connections) {
    std::unique_lock lock(connection->idleMutex);
    if (!connection->idle || connection->evicted) continue;
    if (oldest && connection->lastHeard >= oldest->lastHeard) continue;
    oldest = connection.get();
    oldestLock = std::move(lock);
  }
  if (!oldest) return false;
  oldest->evicted = true;
  shutdown(oldest->fd.fd(), SHUT_RDWR);
  return true;
}

// --- One connection. ---

void LoopbackListener::State::Serve(Connection& connection) {
  serve(connection);
  LingeringClose(connection.fd);
  connection.done = true;
}

// Idle while it waits; false when the client closed, at the idle time-out,
// at Stop, or when a new client closed the connection to take its place.
bool LoopbackListener::State::Connection::Receive(std::string& buffer) {
  {
    std::lock_guard lock(idleMutex);
    if (evicted) return false;
    idle = true;
  }
  const bool readable = listener.WaitFor(fd.fd(), POLLIN, listener.limits.idleTimeoutMs);
  {
    std::lock_guard lock(idleMutex);
    idle = false;
    if (!readable || evicted) return false;
  }
  char piece[kReceiveBytes];
  const ssize_t received = recv(fd.fd(), piece, sizeof piece, 0);
  if (received < 0 && Transient()) return true;
  if (received <= 0) return false;
  buffer.append(piece, static_cast<std::size_t>(received));
  std::lock_guard lock(idleMutex);
  lastHeard = Clock::now();
  return true;
}

// --- Waiting and sending, always interruptible by Stop. ---

bool LoopbackListener::State::WaitFor(int fd, short events, int timeoutMs) const {
  pollfd watched[2] = {{fd, events, 0}, {wakeRead.fd(), POLLIN, 0}};
  for (;;) {
    const int ready = poll(watched, 2, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || watched[1].revents != 0) return false;
    return true;  // readable, writable, or closed: the next call finds out
  }
}

bool LoopbackListener::State::SendAll(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && Transient()) {
      if (!WaitFor(fd, POLLOUT, limits.idleTimeoutMs)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void LoopbackListener::State::LingeringClose(UniqueFd& fd) const {
  shutdown(fd.fd(), SHUT_WR);
  char piece[kReceiveBytes];
  std::size_t drained = 0;
  while (drained < kMaxLingerBytes && WaitFor(fd.fd(), POLLIN, kLingerMs)) {
    const ssize_t received = recv(fd.fd(), piece, sizeof piece, 0);
    if (received < 0 && Transient()) continue;
    if (received <= 0) break;
    drained += static_cast<std::size_t>(received);
  }
  fd.Close();
}

void LoopbackListener::State::WaitForStop() const {
  pollfd wake{wakeRead.fd(), POLLIN, 0};
  while (running && poll(&wake, 1, -1) <= 0) {
  }
}

bool LoopbackListener::State::PauseFor(int delayMs) const {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(delayMs);
  pollfd wake{wakeRead.fd(), POLLIN, 0};
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
    if (poll(&wake, 1, static_cast<int>(left)) > 0 || !running) return false;
  }
  return true;
}

}  // namespace velbrook
