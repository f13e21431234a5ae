#pragma once
// A worker thread of a test, which the test joins however it ends, while
// the window's thread turns its loop. Qt-free.
#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace velbrook::testing {

class Worker {
 public:
  explicit Worker(std::function<void()> work)
      : thread_([this, work = std::move(work)] {
          work();
          done_ = true;
        }) {}
  ~Worker() {
    if (thread_.joinable()) thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool Done() const { return done_; }
  // Turns the window's loop (anything with WaitUntil(done)) until the worker
  // has finished, then joins it; false when the loop's limit passed first.
  template <class Loop>
  bool Finish(Loop& loop) {
    const bool finished = loop.WaitUntil([this] { return Done(); });
    if (finished) thread_.join();
    return finished;
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace velbrook::testing
