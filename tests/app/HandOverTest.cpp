// The hand-over from a worker thread to the window's thread: everything in
// call order, reads returning their value, direct calls on the window's own
// thread, and nothing run nor anyone left waiting once it is closed.
#include <QLineEdit>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "app/HandOver.h"
#include "app/MainUnit.h"
#include "tests/support/WindowProbe.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

// A worker thread that the test joins however it ends.
class Worker {
 public:
  explicit Worker(std::function<void()> work) : thread_([this, work] {
    work();
    done_ = true;
  }) {}
  ~Worker() {
    if (thread_.joinable()) thread_.join();
  }
  bool Done() const { return done_; }
  // Turns the window's event loop until the worker has finished.
  bool Finish() {
    const bool finished = WaitUntil([this] { return Done(); });
    if (finished) thread_.join();
    return finished;
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST(HandOverTest, OnItsOwnThreadWorkRunsAtOnce) {
  HandOver handOver;
  EXPECT_TRUE(handOver.OnOwnThread());
  int ran = 0;
  handOver.Post([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(handOver.Call<int>([] { return 7; }), 7);
}

TEST(HandOverTest, FromAWorkerEverythingRunsOnTheWindowsThreadInCallOrder) {
  HandOver handOver;
  QThread* const windowThread = QThread::currentThread();
  std::vector<int> order;  // touched on the window's thread only
  std::atomic<bool> allOnWindowThread{true};
  std::vector<size_t> seenByReads;
  Worker worker([&] {
    EXPECT_FALSE(handOver.OnOwnThread());
    for (int i = 0; i < 200; ++i) {
      handOver.Post([&, i] {
        if (QThread::currentThread() != windowThread) allOnWindowThread = false;
        order.push_back(i);
      });
      if (i % 50 == 49) {
        // A read sees every post made before it.
        seenByReads.push_back(handOver.Call<size_t>([&] { return order.size(); }));
      }
    }
  });
  ASSERT_TRUE(worker.Finish());
  ASSERT_TRUE(WaitUntil([&] { return order.size() == 200; }));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
  EXPECT_TRUE(allOnWindowThread);
  EXPECT_EQ(seenByReads, (std::vector<size_t>{50, 100, 150, 200}));
}

TEST(HandOverTest, AfterCloseWorkIsDroppedAndReadsAreEmpty) {
  HandOver handOver;
  handOver.Close();
  handOver.Close();  // twice is harmless
  bool ran = false;
  Text read = u"unset";
  Worker worker([&] {
    handOver.Post([&] { ran = true; });
    read = handOver.Call<Text>([] { return Text(u"value"); });
  });
  ASSERT_TRUE(worker.Finish());
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  EXPECT_EQ(read, Text());
  // On the window's thread too, nothing runs any more.
  handOver.Post([&] { ran = true; });
  EXPECT_FALSE(ran);
}

TEST(HandOverTest, WorkQueuedBeforeCloseDoesNotRunAfterIt) {
  HandOver handOver;
  bool ran = false;
  Worker worker([&] { handOver.Post([&] { ran = true; }); });
  // Join without turning the event loop: the post is queued, not run.
  while (!worker.Done()) std::this_thread::yield();
  handOver.Close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(HandOverTest, CloseReleasesAWorkerWaitingForARead) {
  HandOver handOver;
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
  ASSERT_TRUE(worker.Finish());
  QCoreApplication::processEvents();
  EXPECT_EQ(answer, Text());
  EXPECT_FALSE(readRan);
}

TEST(HandOverTest, WindowOperationsFromASecondThreadArriveInOrder) {
  TfrmMain window;
  Find<QLineEdit>(window, "edtWebSite")->setText(QStringLiteral("typed address "));
  window.SetBusyFlag(1);
  window.AppendOutput(u"left from before");
  Text address;
  Text caption;
  std::vector<Text> outputsSeen;
  Worker worker([&] {
    address = window.ReadAddressBox();
    caption = window.ReadCaption();
    window.ClearOutput();
    for (int page = 1; page <= 5; ++page) {
      window.ShowStatus(u"page " + DecimalDigits(page), u"A");
      window.AppendOutput(u"block " + DecimalDigits(page));
      outputsSeen.push_back(window.ReadOutput());
    }
    window.ClearBusyFlag();
  });
  ASSERT_TRUE(worker.Finish());
  EXPECT_EQ(address, u"typed address ");  // unchanged, nothing trimmed
  EXPECT_EQ(caption, u"Velbrook1.0b");
  ASSERT_EQ(outputsSeen.size(), 5u);
  EXPECT_EQ(outputsSeen[0], u"block 1\r\n");
  EXPECT_EQ(outputsSeen[4], u"block 1\r\nblock 2\r\nblock 3\r\nblock 4\r\nblock 5\r\n");
  ASSERT_TRUE(WaitUntil([&] { return window.BusyFlag() == 0; }));
  EXPECT_EQ(window.StatusPanelText(3), u"page 5");
  EXPECT_EQ(window.ReadOutput(), outputsSeen[4]);
}

TEST(HandOverTest, AfterTheWindowsEndBeganTheWorkerIsDroppedNotBlocked) {
  TfrmMain window;
  window.AppendOutput(u"kept");
  std::atomic<bool> asking{false};
  Text address = u"unset";
  Worker worker([&] {
    asking = true;
    address = window.ReadAddressBox();
    window.AppendOutput(u"dropped");
    window.ShowStatus(u"dropped", u"A");
    window.ClearBusyFlag();
  });
  while (!asking) std::this_thread::yield();
  window.SetBusyFlag(1);
  window.EndHandOver();
  ASSERT_TRUE(worker.Finish());
  QCoreApplication::processEvents();
  EXPECT_EQ(address, Text());
  EXPECT_EQ(ToUtf8(window.StatusPanelText(3)), "当前进度:");
  EXPECT_EQ(window.BusyFlag(), 1);
}

}  // namespace
}  // namespace velbrook::testing
