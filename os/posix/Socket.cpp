#include "os/Socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace velbrook {
namespace {

// Nothing to move now, or a signal came first: the caller waits and tries again.
bool IsTryAgain(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }

IoResult Outcome(ssize_t moved, int code) {
  if (moved > 0) return {IoStatus::Moved, static_cast<std::size_t>(moved), {}};
  if (moved == 0) return {IoStatus::PeerClosed, 0, {}};
  if (IsTryAgain(code)) return {IoStatus::WouldBlock, 0, {}};
  return {IoStatus::Failed, 0, std::error_code(code, std::system_category())};
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kNoSocket)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoSocket);
  }
  return *this;
}

void Socket::Close() {
  if (valid()) ::close(std::exchange(handle_, kNoSocket));
}

IoResult Socket::Receive(char* data, std::size_t size) {
  const ssize_t received = ::recv(handle_, data, size, MSG_DONTWAIT);
  return Outcome(received, errno);
}

IoResult Socket::Send(std::string_view bytes) {
  // An empty send would read as the peer's close.
  if (bytes.empty()) return {IoStatus::Moved, 0, {}};
  const ssize_t sent = ::send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  return Outcome(sent, errno);
}

void Socket::Shutdown(ShutdownSide side) const {
  ::shutdown(handle_, side == ShutdownSide::Sending ? SHUT_WR : SHUT_RDWR);
}

}  // namespace velbrook
