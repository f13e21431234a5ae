#include "fetch/Connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "fetch/FetchError.h"
#include "fetch/Waker.h"

namespace velbrook {
namespace {

[[noreturn]] void ThrowAborted() { throw FetchError(FetchFailure::Aborted, "aborted"); }

[[noreturn]] void ThrowSocketError(const char* what, int code) {
  throw FetchError(FetchFailure::SocketError, std::string(what) + ": " + std::strerror(code), code);
}

bool IsTryAgain(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }

}  // namespace

Connection::Connection(Socket socket, std::string host, uint16_t port, int wakeFd)
    : socket_(std::move(socket)), host_(std::move(host)), port_(port), wakeFd_(wakeFd) {}

std::string_view Connection::Buffered() const {
  return std::string_view(buffer_).substr(consumed_);
}

void Connection::Consume(size_t count) {
  consumed_ += count < buffer_.size() - consumed_ ? count : buffer_.size() - consumed_;
  if (consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  }
}

void Connection::CompactBuffer() {
  // Drop consumed bytes before growing, so the buffer never exceeds what is unread plus a piece.
  if (consumed_ > 0) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
}

bool Connection::ReceiveOnce() {
  CompactBuffer();
  return ReceiveOnceInto(buffer_, kReceivePieceBytes);
}

bool Connection::ReceiveOnceInto(std::string& target, size_t maxBytes) {
  const size_t old = target.size();
  const size_t room = maxBytes < kReceivePieceBytes ? maxBytes : kReceivePieceBytes;
  target.resize(old + room);
  const ssize_t received = recv(socket_.fd(), target.data() + old, room, MSG_DONTWAIT);
  const int code = errno;
  target.resize(old + (received > 0 ? static_cast<size_t>(received) : 0));
  if (received > 0) {
    receivedTotal_ += static_cast<uint64_t>(received);
    return true;
  }
  if (received == 0) {
    peerClosed_ = true;
    return false;
  }
  if (IsTryAgain(code)) return false;
  ThrowSocketError("receive", code);
}

void Connection::AwaitReady(short events, int timeoutMs) {
  switch (WaitFor(socket_.fd(), events, wakeFd_, timeoutMs)) {
    case WaitResult::Woken:
      ThrowAborted();
    case WaitResult::TimedOut:
      // A peer that stops reading holds the request no longer than a silent one.
      throw FetchError(FetchFailure::ReadTimeout,
                       events == POLLIN ? "read time-out" : "send time-out");
    case WaitResult::Ready:
      return;
  }
}

void Connection::AwaitReadable(int timeoutMs) {
  piecesWithoutWait_ = 0;
  AwaitReady(POLLIN, timeoutMs);
}

bool Connection::ReceivePiece(int timeoutMs) {
  for (;;) {
    if (peerClosed_) return false;
    AwaitReadable(timeoutMs);
    if (ReceiveOnce()) return true;
  }
}

bool Connection::ReceivePieceInto(std::string& target, size_t maxBytes, int timeoutMs) {
  // Within a body that is streaming in, the next piece is usually there
  // already: a wait first would only cost a call.
  if (!peerClosed_ && piecesWithoutWait_ < kPiecesBetweenWakeChecks) {
    if (ReceiveOnceInto(target, maxBytes)) {
      ++piecesWithoutWait_;
      return true;
    }
  }
  for (;;) {
    if (peerClosed_) return false;
    AwaitReadable(timeoutMs);
    if (ReceiveOnceInto(target, maxBytes)) return true;
  }
}

void Connection::ReceiveWaiting() {
  if (WaitFor(socket_.fd(), POLLIN, wakeFd_, 0) == WaitResult::Woken) ThrowAborted();
  // One piece is enough to know whether anything waits; a peer that keeps
  // streaming cannot hold the client here.
  if (!peerClosed_) ReceiveOnce();
}

void Connection::SendAll(std::string_view bytes, int timeoutMs) {
  while (!bytes.empty()) {
    AwaitReady(POLLOUT, timeoutMs);
    const ssize_t sent =
        send(socket_.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (IsTryAgain(errno)) continue;
      ThrowSocketError("send", errno);
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

}  // namespace velbrook
