// The whole response side of a fetch fed raw bytes from a socket pair: status
// line, header block, cookies, status decision and every body framing. The
// peer has said all it will (its side is shut down), so no wait ever blocks.
// Properties: only FetchError leaves a fetch; a failed fetch adds nothing to
// the body; a body never holds more bytes than the peer sent; and the next
// fetch reads its own answer, never a byte of the first one.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetch/HttpClient.h"

namespace {

using velbrook::FetchError;
using velbrook::HttpClient;
using velbrook::Socket;

// Larger inputs would not fit the socket pair's buffer without a writer thread.
constexpr size_t kMaxInput = 128 * 1024;
constexpr std::string_view kFresh = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfresh";

void Require(bool condition) {
  if (!condition) std::abort();
}

// A connected socket whose peer has already sent bytes and shut its side down.
Socket PreparedSocket(std::string_view bytes) {
  int fds[2];
  Require(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
  const int size = static_cast<int>(kMaxInput) * 2;
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  while (!bytes.empty()) {
    const ssize_t sent = send(fds[1], bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    Require(sent > 0);
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  shutdown(fds[1], SHUT_WR);
  // The client's request goes into the peer's receive buffer, which nobody
  // reads; closing the peer now would turn the client's send into a failure.
  static thread_local int peer = -1;
  if (peer >= 0) close(peer);
  peer = fds[1];
  return Socket(fds[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const std::string_view response(reinterpret_cast<const char*>(data), size);
  HttpClient client;
  client.SetReadTimeout(5000);  // never reached: the peer's side is shut down
  int dials = 0;
  client.SetConnector([&](const std::string&, uint16_t) {
    return PreparedSocket(dials++ == 0 ? response : kFresh);
  });

  std::string body = "kept";
  try {
    client.Get(u"http://www.forum.example/p/1.shtml", body);
    Require(body.size() - 4 <= size && body.compare(0, 4, "kept") == 0);
  } catch (const FetchError&) {
    Require(body == "kept");
  }

  // Whatever the first answer was, a sound second answer is read as itself.
  std::string next;
  try {
    client.Get(u"http://www.forum.example/p/2.shtml", next);
  } catch (const FetchError& error) {
    std::fprintf(stderr, "the next fetch failed: %s\n", error.what());
    std::abort();
  }
  Require(next == "fresh");
  return 0;
}
