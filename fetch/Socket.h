#pragma once
// The TCP socket layer under the HTTP client: POSIX sockets, woken through an
// eventfd (see Waker.h), so Linux only. The window never sees it.
#include <cstdint>
#include <functional>
#include <string>

namespace velbrook {

// A connected TCP socket, closed when destroyed. Move-only.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// Dials (host, port) and returns the connected socket, or throws
// FetchError(SocketError) with the platform's error code.
using Connector = std::function<Socket(const std::string& host, uint16_t port)>;

// The default connector: a dotted IPv4 host is used as it is, any other host
// is looked up (IPv4 only, first address); then a blocking connect.
// While a ConnectWakeScope is set on the calling thread, the connect also
// ends when its wake-up fd becomes readable (FetchError Aborted).
Socket ConnectTcp(const std::string& host, uint16_t port);

// Lends ConnectTcp on this thread a wake-up fd for as long as it lives, so
// that a connector built on ConnectTcp can be interrupted by Abort.
class ConnectWakeScope {
 public:
  explicit ConnectWakeScope(int wakeFd);
  ~ConnectWakeScope();
  ConnectWakeScope(const ConnectWakeScope&) = delete;
  ConnectWakeScope& operator=(const ConnectWakeScope&) = delete;
  // The wake-up fd of the innermost scope of this thread; -1 outside any.
  static int Current();

 private:
  int previous_;
};

}  // namespace velbrook
