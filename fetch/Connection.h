#pragma once
// One open TCP connection of the HTTP client: the socket, the host and port
// it was opened for, and the bytes that arrived on it and were not yet
// consumed. Every wait also ends on the client's wake-up (Abort).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/Socket.h"

namespace velbrook {

// Bytes are received in pieces of at most this size.
inline constexpr size_t kReceivePieceBytes = 32768;

class Connection {
 public:
  Connection(Socket socket, std::string host, uint16_t port, int wakeFd);

  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }

  // Bytes received and not yet consumed.
  std::string_view Buffered() const;
  void Consume(size_t count);
  // Whether the peer has closed its side (an orderly close was received).
  bool PeerClosed() const { return peerClosed_; }

  // Waits up to timeoutMs (negative: no limit) for one piece and appends it
  // to the buffer. False when the peer has closed instead. Throws
  // FetchError ReadTimeout, SocketError or Aborted.
  bool ReceivePiece(int timeoutMs);
  // Receives what has already arrived without waiting: moves waiting bytes
  // (one piece at most) into the buffer and notes an orderly close. Throws SocketError or Aborted.
  void ReceiveWaiting();
  // Writes all of bytes, waiting as long as the peer needs (no time-out);
  // never raises SIGPIPE. Throws SocketError or Aborted.
  void SendAll(std::string_view bytes);

 private:
  // One recv into the buffer; false when nothing could be read right now.
  bool ReceiveOnce();
  void CompactBuffer();

  Socket socket_;
  std::string host_;
  uint16_t port_;
  int wakeFd_;
  std::string buffer_;
  size_t consumed_ = 0;
  bool peerClosed_ = false;
};

}  // namespace velbrook
