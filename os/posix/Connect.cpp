#include "os/Connect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace velbrook {
namespace {

thread_local const Waker* tConnectWaker = nullptr;

class LookupErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "lookup"; }
  std::string message(int code) const override { return gai_strerror(code); }
};

[[noreturn]] void ThrowSystemError(int code, const std::string& what) {
  throw std::system_error(code, std::system_category(), what);
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
    const std::string what = "name lookup of " + host;
    if (status == EAI_SYSTEM) ThrowSystemError(errno, what);
    throw std::system_error(status, LookupCategory(), what);
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

// A blocking connect in effect: non-blocking, then a wait without a limit of
// ours (the system's own connect limit rules) that only the waker can cut
// short; the socket is blocking again afterwards.
void ConnectInterruptibly(const Socket& socket, const sockaddr_in& target, const Waker* waker) {
  const int fd = socket.handle();
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowSystemError(errno, "fcntl");
  if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    if (errno != EINPROGRESS) ThrowSystemError(errno, "connect");
    if (WaitFor(socket, Readiness::Writable, waker, -1) == WaitResult::Woken)
      throw std::system_error(std::make_error_code(std::errc::operation_canceled), "connect");
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) ThrowSystemError(error, "connect");
  }
  if (fcntl(fd, F_SETFL, flags) < 0) ThrowSystemError(errno, "fcntl");
}

}  // namespace

const std::error_category& LookupCategory() {
  static const LookupErrorCategory category;
  return category;
}

Socket ConnectTcp(const std::string& host, uint16_t port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr = ResolveIpv4(host);
  Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) ThrowSystemError(errno, "socket");
  ConnectInterruptibly(socket, target, ConnectWakeScope::Current());
  return socket;
}

ConnectWakeScope::ConnectWakeScope(const Waker& waker) : previous_(tConnectWaker) {
  tConnectWaker = &waker;
}

ConnectWakeScope::~ConnectWakeScope() { tConnectWaker = previous_; }

const Waker* ConnectWakeScope::Current() { return tConnectWaker; }

}  // namespace velbrook
