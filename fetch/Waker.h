#pragma once
// A wake-up that another thread can raise to interrupt every wait of the
// HTTP client at once (an eventfd that becomes readable and stays so).
#include <chrono>

namespace velbrook {

class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  // Thread-safe; once raised, the wake-up stays raised.
  void Raise();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

enum class WaitResult { Ready, TimedOut, Woken };

// Waits until fd shows one of events (POLLIN / POLLOUT), the wake-up fd becomes
// readable (wakeFd < 0: none) or timeoutMs passes (negative: no limit). A
// readiness that is an error or hang-up counts as Ready: the next call on the
// socket reports it. Interrupted polls are resumed with the time that is left.
WaitResult WaitFor(int fd, short events, int wakeFd, int timeoutMs);

}  // namespace velbrook
