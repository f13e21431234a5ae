#include "forum/LoopbackListener.h"

#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "os/Listen.h"
#include "os/Socket.h"
#include "os/Wait.h"

namespace velbrook {
namespace {

// Bytes read from a connection at a time.
constexpr std::size_t kReceiveBytes = 16384;
// Before closing, what the client still sends is read and dropped for so
// long and so much, so that an unread request does not turn the close into
// a reset that destroys the answer on its way.
constexpr int kLingerMs = 1000;
constexpr std::size_t kMaxLingerBytes = 65536;

using Clock = std::chrono::steady_clock;

}  // namespace

struct LoopbackListener::State {
  struct Connection;

  ListenerLimits limits;
  ServeFunction serve;

  std::atomic<bool> running{false};
  Socket listening;
  // Raised once by Stop: every wait wakes. A new one for each Start.
  std::unique_ptr<Waker> waker;
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

  // Waits until socket is ready for what, or for Stop; false when stopping
  // or at timeoutMs.
  bool WaitFor(const Socket& socket, Readiness what, int timeoutMs) const;
  bool SendAll(Socket& socket, std::string_view bytes) const;
  void LingeringClose(Socket& socket) const;
  void WaitForStop() const;
  // Waits delayMs; false when Stop came first.
  bool PauseFor(int delayMs) const;
};

struct LoopbackListener::State::Connection final : ClientLink {
  Connection(const State& owner, Socket accepted, std::size_t count)
      : listener(owner), socket(std::move(accepted)), number(count) {}

  std::size_t Number() const override { return number; }
  bool Receive(std::string& buffer) override;
  bool Send(std::string_view bytes) override { return listener.SendAll(socket, bytes); }
  bool Pause(int delayMs) override { return listener.PauseFor(delayMs); }
  void WaitForStop() override { listener.WaitForStop(); }

  const State& listener;
  Socket socket;
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
  // Each is held from its first moment, so a failure below leaves none open.
  auto waker = std::make_unique<Waker>();
  Socket listening = ListenOnLoopback(port);
  s.port = LocalPort(listening);
  s.listening = std::move(listening);
  s.waker = std::move(waker);
  s.running = true;
  s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
}

void LoopbackListener::Stop() {
  State& s = *state_;
  if (!s.running.exchange(false)) return;  // a failed Start left nothing open
  s.waker->Raise();
  s.acceptThread.join();
  std::list<std::unique_ptr<State::Connection>> connections;
  {
    std::lock_guard lock(s.connectionMutex);
    connections.swap(s.connections);
  }
  for (auto& connection : connections) connection->thread.join();
  s.listening.Close();
  s.waker.reset();
}

bool LoopbackListener::Running() const { return state_->running; }
uint16_t LoopbackListener::Port() const { return state_->port; }
std::size_t LoopbackListener::AcceptCount() const { return state_->acceptCount; }
void LoopbackListener::ClearAcceptCount() { state_->acceptCount = 0; }

// --- The accept thread. ---

void LoopbackListener::State::AcceptLoop() {
  while (WaitFor(listening, Readiness::Readable, -1)) {
    Socket accepted = Accept(listening);
    if (!accepted.valid()) continue;  // the client gave up already, or a transient shortage
    ReapFinished();
    std::lock_guard lock(connectionMutex);
    // No place: the newcomer is closed unanswered.
    if (OpenConnections() >= limits.maxConnections && !EvictLongestIdle()) continue;
    auto connection = std::make_unique<Connection>(*this, std::move(accepted), ++acceptCount);
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
  oldest->socket.Shutdown(ShutdownSide::Both);
  return true;
}

// --- One connection. ---

void LoopbackListener::State::Serve(Connection& connection) {
  serve(connection);
  LingeringClose(connection.socket);
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
  const bool readable =
      listener.WaitFor(socket, Readiness::Readable, listener.limits.idleTimeoutMs);
  {
    std::lock_guard lock(idleMutex);
    idle = false;
    if (!readable || evicted) return false;
  }
  char piece[kReceiveBytes];
  const IoResult received = socket.Receive(piece, sizeof piece);
  if (received.status == IoStatus::WouldBlock) return true;
  if (received.status != IoStatus::Moved) return false;
  buffer.append(piece, received.bytes);
  std::lock_guard lock(idleMutex);
  lastHeard = Clock::now();
  return true;
}

// --- Waiting and sending, always interruptible by Stop. ---

bool LoopbackListener::State::WaitFor(const Socket& socket, Readiness what, int timeoutMs) const {
  try {
    // Readable, writable, or closed: the next call finds out.
    return velbrook::WaitFor(socket, what, waker.get(), timeoutMs) == WaitResult::Ready;
  } catch (const std::system_error&) {
    return false;  // a system that cannot wait ends the conversation
  }
}

bool LoopbackListener::State::SendAll(Socket& socket, std::string_view bytes) const {
  while (!bytes.empty()) {
    const IoResult sent = socket.Send(bytes);
    if (sent.status == IoStatus::Moved) {
      bytes.remove_prefix(sent.bytes);
    } else if (sent.status == IoStatus::WouldBlock) {
      if (!WaitFor(socket, Readiness::Writable, limits.idleTimeoutMs)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void LoopbackListener::State::LingeringClose(Socket& socket) const {
  socket.Shutdown(ShutdownSide::Sending);
  char piece[kReceiveBytes];
  std::size_t drained = 0;
  while (drained < kMaxLingerBytes && WaitFor(socket, Readiness::Readable, kLingerMs)) {
    const IoResult received = socket.Receive(piece, sizeof piece);
    if (received.status == IoStatus::WouldBlock) continue;
    if (received.status != IoStatus::Moved) break;
    drained += received.bytes;
  }
  socket.Close();
}

void LoopbackListener::State::WaitForStop() const {
  while (running && !WaitForWake(*waker, -1)) {
  }
}

bool LoopbackListener::State::PauseFor(int delayMs) const {
  if (delayMs <= 0) return true;
  return running && !WaitForWake(*waker, delayMs);
}

}  // namespace velbrook
