#pragma once
// A loopback TCP server for tests of anything that speaks HTTP to the forum
// site. Each accepted connection plays its own script: for every request it
// receives (a head ending in an empty line), the next step sends raw bytes and
// then keeps the connection, closes it, resets it or stalls. It records every
// request's exact bytes and counts the connections it accepted. Listens on
// 127.0.0.1 only, on a port of the system's choosing.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velbrook::testing {

struct Step {
  enum class Then {
    Keep,   // wait for the next request
    Close,  // orderly close (FIN) after the bytes
    Reset,  // abortive close (RST, SO_LINGER 0) after the bytes
    Stall,  // send nothing more, drop what arrives, until the client closes or the server stops
  };
  std::string bytes;  // sent as they are, possibly empty
  Then then = Then::Keep;
  bool awaitRequest = true;        // false: sent without waiting for a request
  bool holdUntilReleased = false;  // waits for Release() before sending
};

using Script = std::vector<Step>;

// Shorthands for the common steps.
Step Reply(std::string bytes, Step::Then then = Step::Then::Keep);
Step ReplyAndClose(std::string bytes);
Step ReplyAndReset(std::string bytes);
Step StallAfter(std::string bytes);
// Holds the reply back until Release() is called, then sends it.
Step HeldReply(std::string bytes, Step::Then then = Step::Then::Keep);

struct ReceivedRequest {
  int connection;     // 0 for the first accepted connection
  std::string bytes;  // the head exactly as received, CR LF and all
};

class ScriptedServer {
 public:
  // scripts[i] is played on the i-th accepted connection. A connection beyond
  // the scripts, or a request beyond its script, is recorded and closed.
  explicit ScriptedServer(std::vector<Script> scripts);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t port() const { return port_; }
  int ConnectionsAccepted() const;
  std::vector<ReceivedRequest> Requests() const;
  // The bytes of the index-th request received (empty when there is none).
  std::string Request(size_t index) const;

  // Waits until at least count requests have arrived; false if that does not
  // happen within a generous safety limit (a broken client, not a slow one).
  bool WaitForRequests(size_t count) const;
  // Waits until the client has closed its side of the given connection.
  bool WaitForClientClose(int connection) const;
  // Waits until the server has closed its side (FIN sent) of the given connection.
  bool WaitForServerClose(int connection) const;
  // Waits until count steps (all connections together) have sent their bytes.
  bool WaitForReplies(size_t count) const;
  // Lets one held step go ahead.
  void Release();

 private:
  struct Shared;
  void AcceptLoop();
  void Serve(int fd, int connection);

  int listenFd_ = -1;
  int stopFd_ = -1;
  uint16_t port_ = 0;
  std::shared_ptr<Shared> shared_;
  std::vector<Script> scripts_;
  std::thread acceptThread_;
  std::mutex threadsLock_;
  std::vector<std::thread> connectionThreads_;
};

// A loopback port on which nothing listens (bound, then released).
uint16_t UnusedLoopbackPort();

// A socket listening on 127.0.0.1 at an ephemeral port, which goes to port.
// Throws std::runtime_error when it cannot be set up.
int ListenOnLoopback(uint16_t& port, int backlog = 16);

}  // namespace velbrook::testing
