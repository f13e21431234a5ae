#include "fetch/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fetch/FetchError.h"
#include "fetch/Waker.h"

namespace velbrook {
namespace {

thread_local int tConnectWakeFd = -1;

[[noreturn]] void ThrowSocketError(const std::string& what, int code) {
  throw FetchError(FetchFailure::SocketError, what + ": " + std::strerror(code), code);
}

// The IPv4 address of host: used directly in dotted form, else the first
// address of the lookup. Every call looks the name up again.
in_addr ResolveIpv4(const std::string& host) {
  in_addr address{};
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0) {
    if (status == EAI_SYSTEM) ThrowSocketError("name lookup of " + host, errno);
    throw FetchError(FetchFailure::SocketError,
                     "name lookup of " + host + ": " + gai_strerror(status), status);
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

// A blocking connect in effect: non-blocking, then a wait without a limit of
// ours (the operating system's own connect limit rules) that only the
// wake-up can cut short (wakeFd < 0: nothing can).
void ConnectInterruptibly(int fd, const sockaddr_in& target, int wakeFd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowSocketError("fcntl", errno);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    if (errno != EINPROGRESS) ThrowSocketError("connect", errno);
    if (WaitFor(fd, POLLOUT, wakeFd, -1) == WaitResult::Woken)
      throw FetchError(FetchFailure::Aborted, "connect aborted");
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) ThrowSocketError("connect", error);
  }
  if (fcntl(fd, F_SETFL, flags) < 0) ThrowSocketError("fcntl", errno);
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Socket ConnectTcp(const std::string& host, uint16_t port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr = ResolveIpv4(host);
  Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) ThrowSocketError("socket", errno);
  ConnectInterruptibly(socket.fd(), target, ConnectWakeScope::Current());
  return socket;
}

ConnectWakeScope::ConnectWakeScope(int wakeFd) : previous_(tConnectWakeFd) {
  tConnectWakeFd = wakeFd;
}

ConnectWakeScope::~ConnectWakeScope() { tConnectWakeFd = previous_; }

int ConnectWakeScope::Current() { return tConnectWakeFd; }

}  // namespace velbrook
