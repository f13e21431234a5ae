// The hand-over from a worker thread to the window's thread: everything in
// call order, reads returning their value, direct calls on the window's own
// thread, and nothing run nor anyone left waiting once it is closed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/HandOver.h"
#include "tests/support/WindowAnswers.h"
#include "tests/support/Worker.h"
#include "text/MarkerText.h"

namespace velbrook::testing {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(int limitMs) {
  return Clock::now() + std::chrono::milliseconds(limitMs);
}

// Waits without turning the event loop, as the window's thread does while
// it is busy elsewhere; false when the limit passed.
bool SpinUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs) {
  const Clock::time_point deadline = Deadline(limitMs);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// The window's event loop as the hand-over meets it: a queue of calls on
// the window's thread, this test's, in which a wake puts a drain behind what
// waits already (painting and input, here any call posted before).
class EventLoop {
 public:
  HandOver handOver{[this] { Post([this] { handOver.Drain(); }); }};

  // Any thread.
  void Post(std::function<void()> call) {
    std::lock_guard guard(lock_);
    queue_.push_back(std::move(call));
  }
  // The calls waiting now, in turn.
  void ProcessEvents() {
    for (size_t count = Waiting(); count > 0; --count) Next()();
  }
  // Turns the loop until done holds; false when the limit passed.
  bool WaitUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs) {
    const Clock::time_point deadline = Deadline(limitMs);
    while (!done()) {
      if (Clock::now() >= deadline) return false;
      ProcessEvents();
      std::this_thread::yield();
    }
    return true;
  }

 private:
  size_t Waiting() {
    std::lock_guard guard(lock_);
    return queue_.size();
  }
  std::function<void()> Next() {
    std::lock_guard guard(lock_);
    std::function<void()> call = std::move(queue_.front());
    queue_.pop_front();
    return call;
  }

  std::mutex lock_;
  std::deque<std::function<void()>> queue_;
};

// Keeps this thread busy, as a long append does.
void KeepBusy(std::chrono::microseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
  }
}

TEST(HandOverTest, OnItsOwnThreadWorkRunsAtOnce) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  EXPECT_TRUE(handOver.OnOwnThread());
  int ran = 0;
  handOver.Post([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(handOver.Call<int>([] { return 7; }), 7);
}

TEST(HandOverTest, FromAWorkerEverythingRunsOnTheWindowsThreadInCallOrder) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  const std::thread::id windowThread = std::this_thread::get_id();
  std::vector<int> order;  // touched on the window's thread only
  std::atomic<bool> allOnWindowThread{true};
  std::vector<size_t> seenByReads;
  Worker worker([&] {
    EXPECT_FALSE(handOver.OnOwnThread());
    for (int i = 0; i < 200; ++i) {
      handOver.Post([&, i] {
        if (std::this_thread::get_id() != windowThread) allOnWindowThread = false;
        order.push_back(i);
      });
      if (i % 50 == 49) {
        // A read sees every post made before it.
        seenByReads.push_back(handOver.Call<size_t>([&] { return order.size(); }));
      }
    }
  });
  ASSERT_TRUE(worker.Finish(loop));
  ASSERT_TRUE(loop.WaitUntil([&] { return order.size() == 200; }));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
  EXPECT_TRUE(allOnWindowThread);
  EXPECT_EQ(seenByReads, (std::vector<size_t>{50, 100, 150, 200}));
}

TEST(HandOverTest, AfterCloseWorkIsDroppedAndReadsAreEmpty) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  handOver.Close();
  handOver.Close();  // twice is harmless
  bool ran = false;
  Text read = u"unset";
  Worker worker([&] {
    handOver.Post([&] { ran = true; });
    read = handOver.Call<Text>([] { return Text(u"value"); });
  });
  ASSERT_TRUE(worker.Finish(loop));
  loop.ProcessEvents();
  EXPECT_FALSE(ran);
  EXPECT_EQ(read, Text());
  // On the window's thread too, nothing runs any more.
  handOver.Post([&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(handOver.Call<Text>([] { return Text(u"value"); }), Text());
}

TEST(HandOverTest, WorkQueuedBeforeCloseDoesNotRunAfterIt) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  bool ran = false;
  Worker worker([&] { handOver.Post([&] { ran = true; }); });
  // Join without turning the event loop: the post is queued, not run.
  while (!worker.Done()) std::this_thread::yield();
  handOver.Close();
  loop.ProcessEvents();
  EXPECT_FALSE(ran);
}

TEST(HandOverTest, CloseReleasesAWorkerWaitingForARead) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::atomic<bool> asking{false};
  bool readRan = false;
  Text answer = u"unset";
  Worker worker([&] {
    asking = true;
    answer = handOver.Call<Text>([&] {
      readRan = true;
      return Text(u"value");
    });
  });
  // The window's thread does not turn its loop, as in its end; it closes.
  while (!asking) std::this_thread::yield();
  handOver.Close();
  ASSERT_TRUE(worker.Finish(loop));
  loop.ProcessEvents();
  EXPECT_EQ(answer, Text());
  EXPECT_FALSE(readRan);
}

TEST(HandOverTest, ADirectCallRunsAfterTheWorkHandedOverBeforeIt) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::vector<int> order;  // touched on the window's thread only
  std::atomic<int> handedOver{0};
  Worker worker([&] {
    for (int i = 0; i < 5; ++i) {
      handOver.Post([&order, i] { order.push_back(i); });
      ++handedOver;
    }
  });
  // The window's thread has not turned its loop: all five are still pending.
  ASSERT_TRUE(SpinUntil([&] { return handedOver == 5; }));
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(handOver.Call<size_t>([&] { return order.size(); }), 5u);
  handOver.Post([&] { order.push_back(99); });
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 99}));
  ASSERT_TRUE(worker.Finish(loop));
}

TEST(HandOverTest, ADirectCallFromInsideHandedOverWorkRunsAtOnce) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::vector<Text> order;
  std::atomic<int> handedOver{0};
  Worker worker([&] {
    handOver.Post([&] {
      order.push_back(u"first");
      handOver.Post([&] { order.push_back(u"inside first"); });
      order.push_back(handOver.Call<Text>([] { return Text(u"read inside first"); }));
    });
    handOver.Post([&] { order.push_back(u"second"); });
    ++handedOver;
  });
  ASSERT_TRUE(SpinUntil([&] { return handedOver == 1; }));
  ASSERT_TRUE(worker.Finish(loop));
  ASSERT_TRUE(loop.WaitUntil([&] { return order.size() == 4; }));
  EXPECT_EQ(order, (std::vector<Text>{u"first", u"inside first", u"read inside first", u"second"}));
}

TEST(HandOverTest, WorkerAndDirectCallsInterleavedKeepTheirOrder) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  constexpr int kPosts = 3000;
  std::vector<int> order;  // the worker's posts, as they ran
  std::atomic<int> handedOver{0};
  std::vector<size_t> seenByReads;
  Worker worker([&] {
    for (int i = 0; i < kPosts; ++i) {
      handOver.Post([&order, i] { order.push_back(i); });
      ++handedOver;
      if (i % 500 == 499)
        seenByReads.push_back(handOver.Call<size_t>([&] { return order.size(); }));
    }
  });
  // The window's thread turns its loop and, between turns, calls directly:
  // every call must find run all that the worker had handed over before it.
  int directCalls = 0;
  int overtaken = 0;
  const Clock::time_point deadline = Deadline(kWindowWaitMs);
  while (!(worker.Done() && order.size() == static_cast<size_t>(kPosts)) &&
         Clock::now() < deadline) {
    const size_t before = static_cast<size_t>(handedOver.load());
    handOver.Post([&] {
      ++directCalls;
      if (order.size() < before) ++overtaken;
    });
    if (handOver.Call<size_t>([&] { return order.size(); }) < before) ++overtaken;
    loop.ProcessEvents();
  }
  ASSERT_TRUE(worker.Finish(loop));
  ASSERT_EQ(order.size(), static_cast<size_t>(kPosts));
  for (int i = 0; i < kPosts; ++i) ASSERT_EQ(order[i], i);
  EXPECT_EQ(overtaken, 0);
  EXPECT_GT(directCalls, 0);
  EXPECT_EQ(seenByReads, (std::vector<size_t>{500, 1000, 1500, 2000, 2500, 3000}));
}

TEST(HandOverTest, TheEventLoopGetsItsTurnDuringALongBacklog) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  constexpr int kTasks = 400;
  int tasksRun = 0;
  int tasksRunWhenTimerFired = -1;
  // A zero timer started by the first task, as painting and input wait
  // behind the work.
  const auto timer = [&] { tasksRunWhenTimerFired = tasksRun; };
  Worker worker([&] {
    for (int i = 0; i < kTasks; ++i) {
      handOver.Post([&, i] {
        if (i == 0) loop.Post(timer);
        KeepBusy(std::chrono::microseconds(500));
        ++tasksRun;
      });
    }
  });
  ASSERT_TRUE(worker.Finish(loop));
  ASSERT_TRUE(loop.WaitUntil([&] { return tasksRun == kTasks; }));
  ASSERT_NE(tasksRunWhenTimerFired, -1);
  EXPECT_LT(tasksRunWhenTimerFired, kTasks);
}

TEST(HandOverTest, AWorkerFarAheadWaitsAndCloseReleasesIt) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::atomic<int> handedOver{0};
  int ran = 0;
  Text read = u"unset";
  Worker worker([&] {
    for (int i = 0; i < 1000; ++i) {
      handOver.Post([&] { ++ran; });
      ++handedOver;
    }
    read = handOver.Call<Text>([] { return Text(u"value"); });
  });
  // The window's thread does not turn its loop: the worker fills the queue
  // and then waits, however long it is given.
  const int bound = static_cast<int>(HandOver::kMostPending);
  ASSERT_TRUE(SpinUntil([&] { return handedOver >= bound; }));
  SpinUntil([&] { return handedOver > bound; }, 200);
  EXPECT_EQ(handedOver, bound);
  EXPECT_FALSE(worker.Done());
  handOver.Close();
  ASSERT_TRUE(worker.Finish(loop));
  EXPECT_EQ(handedOver, 1000);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(read, Text());
}

TEST(HandOverTest, CloseFromInsideTheBacklogDropsTheRest) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::vector<int> order;
  Text read = u"unset";
  Worker worker([&] {
    for (int i = 0; i < 100; ++i) {
      handOver.Post([&, i] {
        order.push_back(i);
        if (i == 50) {
          handOver.Close();
          handOver.Post([&] { order.push_back(-1); });  // from inside the closing work
        }
      });
    }
    read = handOver.Call<Text>([] { return Text(u"value"); });
  });
  ASSERT_TRUE(worker.Finish(loop));
  loop.ProcessEvents();
  ASSERT_EQ(order.size(), 51u);
  EXPECT_EQ(order.back(), 50);
  EXPECT_EQ(read, Text());
}

TEST(HandOverTest, AFailedPieceOfWorkLosesNothingAfterIt) {
  EventLoop loop;
  HandOver& handOver = loop.handOver;
  std::vector<int> order;
  std::atomic<int> handedOver{0};
  Worker worker([&] {
    handOver.Post([] { throw std::runtime_error("append failed"); });
    for (int i = 0; i < 3; ++i) handOver.Post([&order, i] { order.push_back(i); });
    ++handedOver;
  });
  ASSERT_TRUE(SpinUntil([&] { return handedOver == 1; }));
  // The direct call runs the pending work first and meets its failure.
  bool directRan = false;
  EXPECT_THROW(handOver.Post([&] { directRan = true; }), std::runtime_error);
  EXPECT_FALSE(directRan);
  ASSERT_TRUE(worker.Finish(loop));
  ASSERT_TRUE(loop.WaitUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  handOver.Post([&] { directRan = true; });
  EXPECT_TRUE(directRan);
}

}  // namespace
}  // namespace velbrook::testing
