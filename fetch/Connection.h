#pragma once
// One open TCP connection of the HTTP client: the socket, the host and port
// it was opened for, and the bytes that arrived on it and were not yet
// consumed. Every wait also ends on the client's wake-up (Abort).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "os/Socket.h"
#include "os/Wait.h"

namespace velbrook {

// Bytes are received in pieces of at most this size.
inline constexpr size_t kReceivePieceBytes = 32768;
// While bytes keep arriving, a piece is taken without waiting first; after
// this many in a row the next one waits, so the wake-up is looked at.
inline constexpr int kPiecesBetweenWakeChecks = 8;

class Connection {
 public:
  // waker ends every wait of the connection.
  Connection(Socket socket, std::string host, uint16_t port, const Waker& waker);

  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }

  // Bytes received and not yet consumed.
  std::string_view Buffered() const;
  void Consume(size_t count);
  // Whether the peer has closed its side (an orderly close was received).
  bool PeerClosed() const { return peerClosed_; }
  // Every byte received on the connection so far, consumed or not.
  uint64_t ReceivedTotal() const { return receivedTotal_; }

  // Waits up to timeoutMs (negative: no limit) for one piece and appends it
  // to the buffer. False when the peer has closed instead. Throws
  // FetchError ReadTimeout, SocketError or Aborted.
  bool ReceivePiece(int timeoutMs);
  // Like ReceivePiece, but when nothing is buffered the piece (at most
  // maxBytes) is received straight onto the end of target, sparing a copy.
  // Buffered bytes must be consumed first. False when the peer has closed.
  bool ReceivePieceInto(std::string& target, size_t maxBytes, int timeoutMs);
  // Receives what has already arrived without waiting: moves waiting bytes
  // (one piece at most) into the buffer and notes an orderly close. Throws SocketError or Aborted.
  void ReceiveWaiting();
  // Writes all of bytes; each wait for the peer to take more is bounded by
  // timeoutMs (negative: no limit). Never raises SIGPIPE. Throws
  // ReadTimeout, SocketError or Aborted.
  void SendAll(std::string_view bytes, int timeoutMs);

 private:
  // One recv into the buffer; false when nothing could be read right now.
  bool ReceiveOnce();
  // One recv of at most maxBytes onto the end of target; the same results.
  bool ReceiveOnceInto(std::string& target, size_t maxBytes);
  // Waits until the socket is ready for what; throws ReadTimeout when
  // timeoutMs passes first, Aborted on the wake-up.
  void AwaitReady(Readiness what, int timeoutMs);
  // Waits for readable bytes or the peer's close; throws on time-out or abort.
  void AwaitReadable(int timeoutMs);
  void CompactBuffer();

  Socket socket_;
  std::string host_;
  uint16_t port_;
  const Waker& waker_;
  std::string buffer_;
  size_t consumed_ = 0;
  bool peerClosed_ = false;
  uint64_t receivedTotal_ = 0;
  // Pieces taken without a wait since the last one: bounds how long a peer
  // that keeps streaming can keep the wake-up (Abort) unlooked at.
  int piecesWithoutWait_ = 0;
};

}  // namespace velbrook
