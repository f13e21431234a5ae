#include "fetch/Connection.h"

#include <string>
#include <system_error>

#include "fetch/FetchError.h"

namespace velbrook {
namespace {

[[noreturn]] void ThrowAborted() { throw FetchError(FetchFailure::Aborted, "aborted"); }

[[noreturn]] void ThrowSocketError(const char* what, const std::error_code& error) {
  throw FetchError(FetchFailure::SocketError, std::string(what) + ": " + error.message(),
                   error.value());
}

// One wait on socket or waker; a system that cannot wait fails the fetch.
WaitResult Wait(const Socket& socket, Readiness what, const Waker& waker, int timeoutMs) {
  try {
    return WaitFor(socket, what, &waker, timeoutMs);
  } catch (const std::system_error& failed) {
    ThrowSocketError("wait", failed.code());
  }
}

}  // namespace

Connection::Connection(Socket socket, std::string host, uint16_t port, const Waker& waker)
    : socket_(std::move(socket)), host_(std::move(host)), port_(port), waker_(waker) {}

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
  const IoResult result = socket_.Receive(target.data() + old, room);
  target.resize(old + (result.status == IoStatus::Moved ? result.bytes : 0));
  switch (result.status) {
    case IoStatus::Moved:
      receivedTotal_ += result.bytes;
      return true;
    case IoStatus::PeerClosed:
      peerClosed_ = true;
      return false;
    case IoStatus::WouldBlock:
      return false;
    case IoStatus::Failed:
      break;
  }
  ThrowSocketError("receive", result.error);
}

void Connection::AwaitReady(Readiness what, int timeoutMs) {
  switch (Wait(socket_, what, waker_, timeoutMs)) {
    case WaitResult::Woken:
      ThrowAborted();
    case WaitResult::TimedOut:
      // A peer that stops reading holds the request no longer than a silent one.
      throw FetchError(FetchFailure::ReadTimeout,
                       what == Readiness::Readable ? "read time-out" : "send time-out");
    case WaitResult::Ready:
      return;
  }
}

void Connection::AwaitReadable(int timeoutMs) {
  piecesWithoutWait_ = 0;
  AwaitReady(Readiness::Readable, timeoutMs);
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
  if (Wait(socket_, Readiness::Readable, waker_, 0) == WaitResult::Woken) ThrowAborted();
  // One piece is enough to know whether anything waits; a peer that keeps
  // streaming cannot hold the client here.
  if (!peerClosed_) ReceiveOnce();
}

void Connection::SendAll(std::string_view bytes, int timeoutMs) {
  while (!bytes.empty()) {
    AwaitReady(Readiness::Writable, timeoutMs);
    const IoResult result = socket_.Send(bytes);
    if (result.status == IoStatus::Failed) ThrowSocketError("send", result.error);
    bytes.remove_prefix(result.bytes);
  }
}

}  // namespace velbrook
