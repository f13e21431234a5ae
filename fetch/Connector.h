#pragma once
// How the HTTP client dials a new connection; the default is ConnectTcp
// (os/Connect.h), and the demo and the tests put their own in its place.
#include <cstdint>
#include <functional>
#include <string>

#include "os/Socket.h"

namespace velbrook {

// Dials (host, port) and returns the connected socket, or throws
// FetchError(SocketError), or std::system_error, which the client takes as a
// socket error with its code. While a connector runs, the client lends its
// waker to ConnectTcp on that thread (ConnectWakeScope): Abort cuts it short.
using Connector = std::function<Socket(const std::string& host, uint16_t port)>;

}  // namespace velbrook
