#include "app/HandOver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace velbrook {

// Shared by the hand-over and every piece of work in flight, so a task that
// runs or is dropped late still finds its state.
struct HandOver::Channel {
  std::mutex lock;
  std::condition_variable changed;
  bool open = true;
  // Lives on the window's thread; queued calls to it keep their order.
  std::unique_ptr<QObject> receiver = std::make_unique<QObject>();
};

HandOver::HandOver() : channel_(std::make_shared<Channel>()) {}

HandOver::~HandOver() {
  Close();
  // No post can be under way now (posts happen under the lock while open);
  // deleting the receiver drops the queued work that has not run.
  channel_->receiver.reset();
}

bool HandOver::OnOwnThread() const {
  return QThread::currentThread() == channel_->receiver->thread();
}

void HandOver::Post(std::function<void()> action) {
  if (OnOwnThread()) {
    if (!IsClosed()) action();
    return;
  }
  std::lock_guard guard(channel_->lock);
  if (!channel_->open) return;
  std::weak_ptr<Channel> weak = channel_;
  QMetaObject::invokeMethod(
      channel_->receiver.get(),
      [weak, action = std::move(action)] {
        // Runs on the window's thread, where Close runs too: no race on open.
        const std::shared_ptr<Channel> channel = weak.lock();
        if (channel && channel->open) action();
      },
      Qt::QueuedConnection);
}

void HandOver::Wait(const std::function<void()>& task) {
  struct Pending {
    bool done = false;
  };
  auto pending = std::make_shared<Pending>();
  std::shared_ptr<Channel> channel = channel_;
  std::unique_lock guard(channel->lock);
  if (!channel->open) return;
  std::weak_ptr<Channel> weak = channel;
  // task lives on this thread's stack until done or closed, and the queued
  // call runs task only while open and not yet released: both are decided
  // under the lock that this thread waits on.
  QMetaObject::invokeMethod(
      channel->receiver.get(),
      [weak, pending, &task] {
        const std::shared_ptr<Channel> ch = weak.lock();
        if (!ch || !ch->open) return;
        // The worker is released however task ends.
        struct Release {
          Channel& channel;
          Pending& pending;
          ~Release() {
            {
              std::lock_guard done(channel.lock);
              pending.done = true;
            }
            channel.changed.notify_all();
          }
        } release{*ch, *pending};
        task();
      },
      Qt::QueuedConnection);
  channel->changed.wait(guard, [&] { return pending->done || !channel->open; });
}

void HandOver::Close() {
  {
    std::lock_guard guard(channel_->lock);
    channel_->open = false;
  }
  channel_->changed.notify_all();
}

bool HandOver::IsClosed() const {
  std::lock_guard guard(channel_->lock);
  return !channel_->open;
}

}  // namespace velbrook
