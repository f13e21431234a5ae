#include "app/HandOver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace velbrook {
namespace {

// How long the window's thread works through pending work before it lets
// its event loop paint and take input: well inside a frame, and long enough
// that a busy job is not slowed by turns of the loop.
constexpr std::chrono::milliseconds kSlice{8};

}  // namespace

// Shared by the hand-over and the drain calls in the window's event queue,
// so a drain that runs late still finds its state or knows it is gone.
struct HandOver::Channel : std::enable_shared_from_this<Channel> {
  std::mutex lock;
  // Room in the queue, a read done, the close: a waiting worker looks again.
  std::condition_variable changed;
  bool open = true;
  // Work handed over and not yet taken, oldest first.
  std::deque<std::function<void()>> pending;
  // A drain call waits in the window's event queue and has not begun yet.
  bool drainPosted = false;
  // Window's thread only: how deep it is inside work of this hand-over. A
  // direct call made from inside such work belongs to it and runs at once.
  int depth = 0;
  // Window's thread only: finishes what a stretch of work left half done.
  std::function<void()> afterWork;
  // Lives on the window's thread; the drain calls are queued to it.
  std::unique_ptr<QObject> receiver = std::make_unique<QObject>();

  // Worker: waits for room, then queues task. False, and nothing queued,
  // once closed. guard holds lock.
  bool Enqueue(std::function<void()> task, std::unique_lock<std::mutex>& guard) {
    changed.wait(guard, [&] { return !open || pending.size() < kMostPending; });
    if (!open) return false;
    pending.push_back(std::move(task));
    if (!drainPosted) PostDrain();
    return true;
  }

  // Under lock, while open: one drain call behind everything in the window's
  // event queue now, so what came before it (painting, input, timers) runs
  // first.
  void PostDrain() {
    drainPosted = true;
    std::weak_ptr<Channel> weak = weak_from_this();
    QMetaObject::invokeMethod(
        receiver.get(),
        [weak] {
          if (const std::shared_ptr<Channel> channel = weak.lock()) channel->Drain();
        },
        Qt::QueuedConnection);
  }

  // Window's thread: one slice of the pending work. Whatever is left, also
  // after a piece of work failed, waits for the next drain call.
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

HandOver::HandOver() : channel_(std::make_shared<Channel>()) {}

HandOver::~HandOver() {
  Close();
  // No drain can be posted now (they are posted under the lock while open);
  // deleting the receiver drops a drain call still queued.
  channel_->receiver.reset();
}

bool HandOver::OnOwnThread() const {
  return QThread::currentThread() == channel_->receiver->thread();
}

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
