#pragma once
// A loopback TCP server for tests of a client facing a server that misbehaves
// without end: each accepted connection runs a handler of the test's own on
// its own thread, with a Peer that can read request heads, send bytes, stream
// a unit over and over until the client gives up, or reset. Every loop ends
// when the client closes, when a byte cap is reached, or when the server
// stops. Listens on 127.0.0.1 only.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velbrook::testing {

class Peer {
 public:
  Peer(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

  // Reads until one whole request head (ending in an empty line) has arrived;
  // false when the client closed or the server stopped first.
  bool ReadRequest();
  // The head that ReadRequest read last, CR LF and all.
  const std::string& LastRequest() const { return lastRequest_; }
  // Sends all of bytes; false when the client has gone.
  bool Send(std::string_view bytes);
  // Sends unit again and again until the client stops taking it or maxBytes
  // have gone out; returns the bytes sent.
  uint64_t Stream(std::string_view unit, uint64_t maxBytes);
  // Waits until the client closes its side (reading and dropping what it
  // sends); false when the server stopped first.
  bool AwaitClientClose();
  // Reads nothing at all until the server stops: a peer that stops reading.
  void AwaitStop();
  // Closes with a reset (RST) instead of an orderly close.
  void Reset();

 private:
  int fd_;
  int stopFd_;
  std::string pending_;
  std::string lastRequest_;
};

using Handler = std::function<void(Peer&)>;

class HostileServer {
 public:
  // handlers[i] serves the i-th accepted connection; a connection beyond them
  // is closed at once. The connection is closed in order after its handler.
  explicit HostileServer(std::vector<Handler> handlers);
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  uint16_t port() const { return port_; }
  int ConnectionsAccepted() const { return accepted_.load(); }
  // Waits until every handler of the connections accepted so far has
  // returned; false if that does not happen within a generous safety limit.
  bool WaitForHandlers() const;

 private:
  void AcceptLoop();

  int listenFd_ = -1;
  int stopFd_ = -1;
  uint16_t port_ = 0;
  std::vector<Handler> handlers_;
  std::atomic<int> accepted_{0};
  mutable std::mutex finishedLock_;
  mutable std::condition_variable finishedChanged_;
  int finished_ = 0;
  std::thread acceptThread_;
  std::mutex threadsLock_;
  std::vector<std::thread> connectionThreads_;
};

// A loopback listener that never accepts and whose queue is full, so that a
// connect to it stays unanswered (its SYN is dropped) until the client gives up.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  uint16_t port() const { return port_; }
  // Connects to the port that wait for an answer now, the listener's own
  // queue fillers not counted.
  int PendingConnects() const;

 private:
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
  int fillerPending_ = 0;  // fillers left waiting themselves
};

// The peak resident set size of this process so far, in bytes.
uint64_t PeakResidentBytes();

}  // namespace velbrook::testing
