#include "os/Wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace velbrook {

// An eventfd that becomes readable when raised and stays so: nobody reads it.
struct Waker::Handles {
  int fd = -1;
};

Waker::Waker() : handles_(std::make_unique<Handles>()) {
  handles_->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (handles_->fd < 0) throw std::system_error(errno, std::system_category(), "eventfd");
}

Waker::~Waker() { ::close(handles_->fd); }

void Waker::Raise() {
  const uint64_t one = 1;
  // A full counter still leaves the fd readable, which is all that counts.
  [[maybe_unused]] const ssize_t written = ::write(handles_->fd, &one, sizeof one);
}

// One poll over a socket (or none) and a waker (or none), resumed after a
// signal with the time that is left.
struct WaitSet {
  static int WakeFd(const Waker* waker) { return waker ? waker->handles_->fd : -1; }

  static WaitResult Wait(int fd, short events, const Waker* waker, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const bool limited = timeoutMs >= 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    // poll skips an entry whose fd is negative.
    pollfd watched[2] = {{WakeFd(waker), POLLIN, 0}, {fd, events, 0}};
    for (;;) {
      int remaining = -1;
      if (limited) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        remaining = left > 0 ? static_cast<int>(left) : 0;
      }
      const int ready = poll(watched, 2, remaining);
      if (ready < 0) {
        if (errno == EINTR) continue;
        throw std::system_error(errno, std::system_category(), "poll");
      }
      if (watched[0].revents != 0) return WaitResult::Woken;
      if (watched[1].revents != 0) return WaitResult::Ready;
      if (limited && Clock::now() >= deadline) return WaitResult::TimedOut;
    }
  }
};

WaitResult WaitFor(const Socket& socket, Readiness what, const Waker* waker, int timeoutMs) {
  return WaitSet::Wait(socket.handle(), what == Readiness::Readable ? POLLIN : POLLOUT, waker,
                       timeoutMs);
}

bool WaitForWake(const Waker& waker, int timeoutMs) {
  return WaitSet::Wait(-1, 0, &waker, timeoutMs) == WaitResult::Woken;
}

}  // namespace velbrook
