#include "os/Listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

namespace velbrook {
namespace {

constexpr int kListenBacklog = 16;

[[noreturn]] void ThrowSystemError(const char* call) {
  throw std::system_error(errno, std::system_category(), call);
}

}  // namespace

Socket ListenOnLoopback(uint16_t port) {
  Socket listening(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listening.valid()) ThrowSystemError("socket");
  const int yes = 1;
  setsockopt(listening.handle(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(listening.handle(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    ThrowSystemError("bind");
  if (listen(listening.handle(), kListenBacklog) != 0) ThrowSystemError("listen");
  return listening;
}

uint16_t LocalPort(const Socket& socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(socket.handle(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    ThrowSystemError("getsockname");
  return ntohs(address.sin_port);
}

Socket Accept(const Socket& listening) {
  return Socket(accept4(listening.handle(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

}  // namespace velbrook
