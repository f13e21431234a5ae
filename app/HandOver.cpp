#include "app/HandOver.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace velbrook {
namespace {

// How long the window's thread works through pending work before it lets
// its event loop paint and take input: well inside a frame, and long enough
// that a busy job is not slowed by turns of the loop.
constexpr std::chrono::milliseconds kSlice{8};

}  // namespace

// Shared by the hand-over and the workers waiting on it, so a worker released
// by the close still finds its state.
struct HandOver::Channel {
  explicit Channel(Wake wakeWindow) : wake(std::move(wakeWindow)) {}

  std::mutex lock;
  // Room in the queue, a read done, the close: a waiting worker looks again.
  std::condition_variable changed;
  bool open = true;
  // Work handed over and not yet taken, oldest first.
  std::deque<std::function<void()>> pending;
  // The window's thread was woken and has not begun its drain yet.
  bool drainPosted = false;
  const Wake wake;
  const std::thread::id owner = std::this_thread::get_id();
  // Window's thread only: how deep it is inside work of this hand-over. A
  // direct call made from inside such work belongs to it and runs at once.
  int depth = 0;
  // Window's thread only: finishes what a stretch of work left half done.
  std::function<void()> afterWork;

  // Worker: waits for room, then queues task. False, and nothing queued,
  // once closed. guard holds lock.
  bool Enqueue(std::function<void()> task, std::unique_lock<std::mutex>& guard) {
    changed.wait(guard, [&] { return !open || pending.size() < kMostPending; });
    if (!open) return false;
    pending.push_back(std::move(task));
    if (!drainPosted) PostDrain();
    return true;
  }

  // Under lock, while open: one drain behind what waits on the window's
  // thread now, so painting, input and timers come first.
  void PostDrain() {
    drainPosted = true;
    wake();
  }

  // Window's thread: one slice of the pending work.
  void Drain() {
    {
      std::lock_guard guard(lock);
      drainPosted = false;
    }
    struct Leave {
      Channel& channel;
      ~Leave() {
        --channel.depth;
        std::lock_guard guard(channel.lock);
        if (channel.open && !channel.pending.empty() && !channel.drainPosted) channel.PostDrain();
      }
    };
    ++depth;
    Leave leave{*this};
    const auto end = std::chrono::steady_clock::now() + kSlice;
    try {
      while (std::function<void()> task = TakeNext()) {
        task();
        if (std::chrono::steady_clock::now() >= end) break;
      }
    } catch (...) {
      FinishWork();
      throw;
    }
    FinishWork();
  }

  // Window's thread: the end of a stretch of work, while open.
  void FinishWork() {
    if (afterWork && !IsClosed()) afterWork();
  }

  // Window's thread: the oldest pending work, or none when there is none or
  // the hand-over closed. Taking it makes room for a waiting worker.
  std::function<void()> TakeNext() {
    std::function<void()> task;
    {
      std::lock_guard guard(lock);
      if (!open || pending.empty()) return task;
      task = std::move(pending.front());
      pending.pop_front();
    }
    changed.notify_all();
    return task;
  }

  // Window's thread: task at once, but after the work handed over before
  // it. Only what is pending now is run first; a worker that keeps handing
  // over cannot hold the call up. False, and task not run, once closed.
  bool RunHere(const std::function<void()>& task) {
    struct Inside {
      int& depth;
      ~Inside() { --depth; }
    };
    if (IsClosed()) return false;
    const bool outermost = depth == 0;
    ++depth;
    Inside inside{depth};
    if (!outermost) {
      task();
      return true;
    }
    try {
      std::size_t before = PendingCount();
      while (before-- > 0) {
        const std::function<void()> earlier = TakeNext();
        if (!earlier) break;
        earlier();
      }
      if (IsClosed()) return false;
      task();
    } catch (...) {
      FinishWork();
      throw;
    }
    FinishWork();
    return true;
  }

  std::size_t PendingCount() {
    std::lock_guard guard(lock);
    return pending.size();
  }

  bool IsClosed() {
    std::lock_guard guard(lock);
    return !open;
  }
};

HandOver::HandOver(Wake wake) : channel_(std::make_shared<Channel>(std::move(wake))) {}

// No wake comes once it is closed: they are raised under the lock while open.
HandOver::~HandOver() { Close(); }

bool HandOver::OnOwnThread() const { return std::this_thread::get_id() == channel_->owner; }

void HandOver::Drain() { channel_->Drain(); }

void HandOver::Post(std::function<void()> action) {
  if (!action) return;
  if (OnOwnThread()) {
    channel_->RunHere(action);
    return;
  }
  std::unique_lock guard(channel_->lock);
  channel_->Enqueue(std::move(action), guard);
}

bool HandOver::Run(std::function<void()> task) {
  // The channel stays while this thread waits on it, whatever becomes of
  // the hand-over.
  const std::shared_ptr<Channel> channel = channel_;
  if (OnOwnThread()) return channel->RunHere(task);
  struct Ticket {
    bool ran = false;  // under the channel's lock
  };
  auto ticket = std::make_shared<Ticket>();
  // The wrapped task is owned by the channel's queue or by the drain that
  // took it, which holds the channel: the raw pointer cannot dangle.
  Channel* const ch = channel.get();
  std::function<void()> wrapped = [ch, ticket, task = std::move(task)] {
    // The worker is released however task ends.
    struct Release {
      Channel& channel;
      Ticket& ticket;
      ~Release() {
        {
          std::lock_guard guard(channel.lock);
          ticket.ran = true;
        }
        channel.changed.notify_all();
      }
    } release{*ch, *ticket};
    task();
  };
  std::unique_lock guard(channel->lock);
  if (!channel->Enqueue(std::move(wrapped), guard)) return false;
  // Released early by a close, the worker leaves the task's state alone: the
  // task owns it.
  channel->changed.wait(guard, [&] { return ticket->ran || !channel->open; });
  return ticket->ran;
}

void HandOver::SetAfterWork(std::function<void()> finish) {
  channel_->afterWork = std::move(finish);
}

void HandOver::Close() {
  if (OnOwnThread()) channel_->FinishWork();
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard guard(channel_->lock);
    channel_->open = false;
    dropped.swap(channel_->pending);
  }
  channel_->changed.notify_all();
  // dropped goes here, outside the lock: its captures may hold anything.
}

}  // namespace velbrook
