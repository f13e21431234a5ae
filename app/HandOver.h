#pragma once
// Carries work from a worker thread to the window's thread. Everything handed
// over runs on the window's thread in the order it was handed over; a read
// waits for its value. On the window's thread itself the work runs at once.
// Once closed (the window is going away), work handed over is dropped, reads
// return an empty value and a worker waiting for one is released.
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QObject;

namespace velbrook {

class HandOver {
 public:
  // Hands work to the thread that runs the caller's event loop now.
  HandOver();
  ~HandOver();  // closes
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // True on the thread that carries the work out.
  bool OnOwnThread() const;

  // Runs action on the window's thread; from another thread it returns
  // without waiting. Dropped once closed.
  void Post(std::function<void()> action);

  // Runs read on the window's thread and returns its value; from another
  // thread it waits until the read ran or the hand-over closed, and then
  // returns R{}. Reads stay in order with the posts before them.
  template <class R>
  R Call(const std::function<R()>& read) {
    if (OnOwnThread()) return read();
    std::optional<R> value;
    Wait([&] { value.emplace(read()); });
    return value ? std::move(*value) : R{};
  }

  // From now on nothing runs; a waiting worker is released. Call it on the
  // window's thread before the window's controls go away.
  void Close();
  bool IsClosed() const;

 private:
  struct Channel;
  // Runs task on the window's thread and waits until it ran or was dropped.
  void Wait(const std::function<void()>& task);

  std::shared_ptr<Channel> channel_;
};

}  // namespace velbrook
