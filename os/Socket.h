#pragma once
// A TCP socket of the system's and what is done with one that is connected:
// a receive and a send that never wait, and a shutdown. Waiting is Wait.h's.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace velbrook {

// The system's own handle of a socket; only os/ looks inside.
#if defined(_WIN32)
using SocketHandle = std::uintptr_t;  // a SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// What one receive or send did.
enum class IoStatus {
  Moved,       // bytes went in or out
  WouldBlock,  // nothing can move now: wait, then try again
  PeerClosed,  // receive only: the peer's orderly close
  Failed,      // error says why (a reset, a broken pipe...)
};

struct IoResult {
  IoStatus status;
  std::size_t bytes = 0;  // Moved: how many
  std::error_code error;  // Failed: the system's reason
};

enum class ShutdownSide { Sending, Both };

// An open socket, closed when destroyed. Move-only.
class Socket {
 public:
  Socket() = default;
  // Takes over handle, which a connect, an accept or a socket pair opened.
  explicit Socket(SocketHandle handle) : handle_(handle) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  SocketHandle handle() const { return handle_; }
  bool valid() const { return handle_ != kNoSocket; }
  void Close();

  // Takes at most size bytes of what has arrived, without waiting.
  IoResult Receive(char* data, std::size_t size);
  // Hands the system what of bytes it takes now, without waiting; a peer
  // that has gone away gives Failed, never a signal.
  IoResult Send(std::string_view bytes);
  // Ends one or both directions; from another thread too, which wakes the
  // waits on this socket. Errors are of no interest to anyone: ignored.
  void Shutdown(ShutdownSide side) const;

 private:
  SocketHandle handle_ = kNoSocket;
};

}  // namespace velbrook
