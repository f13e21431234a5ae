#pragma once
// Carries work from a worker thread to the window's thread. Everything handed
// over runs on the window's thread in the order it was handed over; a read
// waits for its value. On the window's thread itself the work runs at once,
// after the work handed over before it. Once closed (the window is going
// away), nothing runs any more: work handed over is dropped, reads return an
// empty value and a worker waiting for one, or for room, is released.
//
// The window's thread works through the pending work in slices of a few
// milliseconds and returns to its event loop between them, so it keeps
// painting and answering input however fast a worker hands work over; a
// worker that gets far ahead waits until the window's thread catches up.
// Only the wake of the window's thread comes from the window: it has the
// window's thread call Drain once its waiting input and painting are done.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace velbrook {

class HandOver {
 public:
  // How much work may be pending before a worker handing over more waits.
  static constexpr std::size_t kMostPending = 32;

  // Asks the window's thread, from any thread, to call Drain soon. Called
  // with the hand-over's lock held, never once it is closed.
  using Wake = std::function<void()>;

  // Hands work to the calling thread, the window's, which wake wakes.
  explicit HandOver(Wake wake);
  ~HandOver();  // closes
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // True on the thread that carries the work out.
  bool OnOwnThread() const;

  // Runs action on the window's thread; from another thread it returns
  // without waiting for it to run (but waits while too much is pending).
  // Dropped once closed.
  void Post(std::function<void()> action);

  // Runs read on the window's thread and returns its value; from another
  // thread it waits until the read ran or the hand-over closed. Once closed,
  // and when read fails on the window's thread for a worker, R{}. Reads stay
  // in order with the posts before them.
  template <class R>
  R Call(std::function<R()> read) {
    auto value = std::make_shared<std::optional<R>>();
    const bool ran = Run([value, read = std::move(read)] { value->emplace(read()); });
    return ran && *value ? std::move(**value) : R{};
  }

  // Runs on the window's thread whenever a stretch of work ends: after each
  // slice, and after a direct call together with the work it ran first, so
  // before the event loop or the caller sees the window again (also when a
  // piece of work failed). Work may leave something half done for it to
  // finish at once: the output box takes a slice's appends in one insertion.
  // Not run once closed. Set it on the window's thread.
  void SetAfterWork(std::function<void()> finish);

  // Window's thread, when woken: one slice of the pending work. Whatever is
  // left, also after a piece of work failed (the failure passes on), waits
  // for the next wake.
  void Drain();

  // From now on nothing runs; a waiting worker is released. Call it on the
  // window's thread before the window's controls go away: what the work
  // left for SetAfterWork's function is finished first.
  void Close();

 private:
  struct Channel;
  // Runs task on the window's thread and, from another thread, waits until
  // it ran or was dropped. True once task has run to its end.
  bool Run(std::function<void()> task);

  std::shared_ptr<Channel> channel_;
};

}  // namespace velbrook
