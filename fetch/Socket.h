#pragma once
// The TCP socket layer under the HTTP client (POSIX; a Winsock variant can
// stand beside it). The window never sees it.
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
Socket ConnectTcp(const std::string& host, uint16_t port);

}  // namespace velbrook
