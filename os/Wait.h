#pragma once
// The waker, which another thread raises to cut every wait that watches it
// short, and the bounded waits for a socket's readiness.
#include <memory>

#include "os/Socket.h"

namespace velbrook {

class Waker {
 public:
  // Throws std::system_error named after the call that failed.
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  // Thread-safe; once raised, the waker stays raised.
  void Raise();

 private:
  friend struct WaitSet;
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

enum class Readiness { Readable, Writable };
enum class WaitResult { Ready, TimedOut, Woken };

// Waits until socket is ready for what (an error or the peer's hang-up counts
// as ready: the next receive or send reports it), waker is raised (null: no
// waker) or timeoutMs passes (negative: no limit; 0: only a look). A raised
// waker wins over a ready socket. Interruptions by signals are resumed with
// the time that is left. Throws std::system_error when the system cannot wait.
WaitResult WaitFor(const Socket& socket, Readiness what, const Waker* waker, int timeoutMs);

// Waits until waker is raised or timeoutMs passes (negative: no limit);
// true when raised.
bool WaitForWake(const Waker& waker, int timeoutMs);

}  // namespace velbrook
