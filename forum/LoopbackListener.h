#pragma once
// A TCP listener on 127.0.0.1 that serves every accepted connection on a
// thread of its own, within a fixed number of places, and whose every wait
// Stop cuts short. It knows nothing of HTTP: what is said on a connection is
// up to the serve function it is given.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velbrook {

struct ListenerLimits {
  // Connections served at once. A client that comes when all are open takes
  // the place of the one idle longest; only when none is idle is it closed
  // unanswered.
  std::size_t maxConnections = 0;
  // A connection that sends nothing for this long while it is idle, or takes
  // nothing of a send for this long, is closed.
  int idleTimeoutMs = 0;
};

// One accepted connection, as the code that converses on it sees it. Each
// call returns false once the conversation is over: the client closed or
// kept quiet too long, a new client took its place, or Stop came.
class ClientLink {
 public:
  virtual ~ClientLink() = default;
  // 1 for the first connection accepted (since the count was cleared), and so on.
  virtual std::size_t Number() const = 0;
  // Appends what the client sends next to buffer. The connection is idle
  // while it waits, and so may give its place to a new client.
  virtual bool Receive(std::string& buffer) = 0;
  virtual bool Send(std::string_view bytes) = 0;
  virtual bool Pause(int delayMs) = 0;
  // Returns at Stop.
  virtual void WaitForStop() = 0;
};

class LoopbackListener {
 public:
  // Converses on one connection. When it returns, the connection is closed
  // gently: what the client still sends is read and dropped for a moment,
  // so that the close does not turn into a reset that destroys the last
  // answer on its way.
  using ServeFunction = std::function<void(ClientLink& link)>;

  LoopbackListener(ListenerLimits limits, ServeFunction serve);
  ~LoopbackListener();  // stops
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Listens on 127.0.0.1:port (0: an ephemeral port) and starts accepting.
  // Throws std::system_error named after the call that failed, and then
  // leaves nothing open.
  void Start(uint16_t port);
  // Closes every socket and joins every thread.
  void Stop();
  bool Running() const;
  // The port of the last Start.
  uint16_t Port() const;
  std::size_t AcceptCount() const;
  void ClearAcceptCount();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velbrook
