#pragma once
// A listening socket on the loopback address and what its server does with
// it. Every socket these give never blocks: waits are Wait.h's.
#include <cstdint>

#include "os/Socket.h"

namespace velbrook {

// Listens on 127.0.0.1:port (0: a port that the system picks). Throws
// std::system_error named after the call that failed ("socket", "bind",
// "listen"), and then leaves nothing open.
Socket ListenOnLoopback(uint16_t port);

// The port that socket is bound to. Throws std::system_error("getsockname").
uint16_t LocalPort(const Socket& socket);

// The next connection waiting on listening, or an invalid socket when there
// is none after all (the client gave up, or a passing shortage).
Socket Accept(const Socket& listening);

}  // namespace velbrook
