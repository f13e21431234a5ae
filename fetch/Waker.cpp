#include "fetch/Waker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "fetch/FetchError.h"

namespace velbrook {

Waker::Waker() {
  fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd_ < 0) throw FetchError(FetchFailure::SocketError, "eventfd failed", errno);
}

Waker::~Waker() {
  if (fd_ >= 0) close(fd_);
}

void Waker::Raise() {
  const uint64_t one = 1;
  // A full counter still leaves the fd readable, which is all that counts.
  [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
}

WaitResult WaitFor(int fd, short events, int wakeFd, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutMs >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    int remaining = -1;
    if (limited) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      remaining = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    const int ready = poll(fds, count, remaining);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw FetchError(FetchFailure::SocketError, "poll failed", errno);
    }
    if (count == 2 && (fds[1].revents & POLLIN)) return WaitResult::Woken;
    if (fds[0].revents != 0) return WaitResult::Ready;
    if (ready == 0 && limited && Clock::now() >= deadline) return WaitResult::TimedOut;
  }
}

}  // namespace velbrook
