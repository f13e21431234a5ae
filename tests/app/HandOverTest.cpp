// The hand-over from a worker thread to the window's thread: everything in
// call order, reads returning their value, direct calls on the window's own
// thread, and nothing run nor anyone left waiting once it is closed.
#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/HandOver.h"
#include "app/MainUnit.h"
#include "tests/support/WindowProbe.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

// Waits without turning the event loop, as the window's thread does while
// it is busy elsewhere; false when the limit passed.
bool SpinUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs) {
  const QDeadlineTimer deadline(limitMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    std::this_thread::yield();
  }
  return true;
}

// Keeps this thread busy, as a long append does.
void KeepBusy(std::chrono::microseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
  }
}

// A worker thread that the test joins however it ends.
class Worker {
 public:
  explicit Worker(std::function<void()> work)
      : thread_([this, work] {
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
  EXPECT_EQ(handOver.Call<Text>([] { return Text(u"value"); }), Text());
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

TEST(HandOverTest, ADirectCallRunsAfterTheWorkHandedOverBeforeIt) {
  HandOver handOver;
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
  ASSERT_TRUE(worker.Finish());
}

TEST(HandOverTest, ADirectCallFromInsideHandedOverWorkRunsAtOnce) {
  HandOver handOver;
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
  ASSERT_TRUE(worker.Finish());
  ASSERT_TRUE(WaitUntil([&] { return order.size() == 4; }));
  EXPECT_EQ(order, (std::vector<Text>{u"first", u"inside first", u"read inside first", u"second"}));
}

TEST(HandOverTest, WorkerAndDirectCallsInterleavedKeepTheirOrder) {
  HandOver handOver;
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
  const QDeadlineTimer deadline(kWindowWaitMs);
  while (!(worker.Done() && order.size() == static_cast<size_t>(kPosts)) &&
         !deadline.hasExpired()) {
    const size_t before = static_cast<size_t>(handedOver.load());
    handOver.Post([&] {
      ++directCalls;
      if (order.size() < before) ++overtaken;
    });
    if (handOver.Call<size_t>([&] { return order.size(); }) < before) ++overtaken;
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(worker.Finish());
  ASSERT_EQ(order.size(), static_cast<size_t>(kPosts));
  for (int i = 0; i < kPosts; ++i) ASSERT_EQ(order[i], i);
  EXPECT_EQ(overtaken, 0);
  EXPECT_GT(directCalls, 0);
  EXPECT_EQ(seenByReads, (std::vector<size_t>{500, 1000, 1500, 2000, 2500, 3000}));
}

TEST(HandOverTest, TheEventLoopGetsItsTurnDuringALongBacklog) {
  HandOver handOver;
  constexpr int kTasks = 400;
  int tasksRun = 0;
  int tasksRunWhenTimerFired = -1;
  QTimer timer;  // a zero timer, as painting and input wait behind the work
  timer.setSingleShot(true);
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] { tasksRunWhenTimerFired = tasksRun; });
  Worker worker([&] {
    for (int i = 0; i < kTasks; ++i) {
      handOver.Post([&, i] {
        if (i == 0) timer.start();
        KeepBusy(std::chrono::microseconds(500));
        ++tasksRun;
      });
    }
  });
  ASSERT_TRUE(worker.Finish());
  ASSERT_TRUE(WaitUntil([&] { return tasksRun == kTasks; }));
  ASSERT_NE(tasksRunWhenTimerFired, -1);
  EXPECT_LT(tasksRunWhenTimerFired, kTasks);
}

TEST(HandOverTest, AWorkerFarAheadWaitsAndCloseReleasesIt) {
  HandOver handOver;
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
  ASSERT_TRUE(worker.Finish());
  EXPECT_EQ(handedOver, 1000);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(read, Text());
}

TEST(HandOverTest, CloseFromInsideTheBacklogDropsTheRest) {
  HandOver handOver;
  std::vector<int> order;
  Text read = u"unset";
  Worker worker([&] {
    for (int i = 0; i < 100; ++i) {
      handOver.Post([&, i] {
        order.push_back(i);
        if (i == 50) handOver.Close();
      });
    }
    read = handOver.Call<Text>([] { return Text(u"value"); });
  });
  ASSERT_TRUE(worker.Finish());
  QCoreApplication::processEvents();
  ASSERT_EQ(order.size(), 51u);
  EXPECT_EQ(order.back(), 50);
  EXPECT_EQ(read, Text());
}

TEST(HandOverTest, AFailedPieceOfWorkLosesNothingAfterIt) {
  HandOver handOver;
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
  ASSERT_TRUE(worker.Finish());
  ASSERT_TRUE(WaitUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  handOver.Post([&] { directRan = true; });
  EXPECT_TRUE(directRan);
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

// One window operation of a job's script, as the run makes it.
struct Operation {
  enum Kind { Clear, Append, Status, Read } kind;
  Text text;  // the block or the progress text
};

// What the window shows: the output box (its length and its end), the
// progress panel, the busy flag.
struct Shown {
  int outputLength;
  QString outputEnd;
  Text progress;
  int busy;
  bool operator==(const Shown&) const = default;
};

Shown ShownBy(TfrmMain& window) {
  QTextDocument& output = *Find<QPlainTextEdit>(window, "mmoText")->document();
  QTextCursor end(&output);
  end.movePosition(QTextCursor::End);
  end.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, 64);
  return {output.characterCount(), end.selectedText(), window.StatusPanelText(3),
          window.BusyFlag()};
}

// Lines of lineUnits characters, count of them, broken by CR LF or by a
// lone CR or LF in turn.
Text Lines(size_t count, size_t lineUnits) {
  const Text breaks[] = {u"\r\n", u"\r", u"\n"};
  Text lines;
  for (size_t i = 0; i < count; ++i) {
    lines += Text(lineUnits, static_cast<char16_t>(u'a' + i % 26));
    if (i + 1 < count) lines += breaks[i % 3];
  }
  return lines;
}

TEST(HandOverTest, HandedOverOutputShowsOnlyWholePrefixesAndEndsAsAppendedOneByOne) {
  std::vector<Operation> manyShort{{Operation::Clear, {}}};
  for (int i = 0; i < 2500; ++i) {
    if (i % 500 == 0) manyShort.push_back({Operation::Status, u"short " + DecimalDigits(i)});
    manyShort.push_back({Operation::Append, u"line " + DecimalDigits(i)});
    if (i % 1000 == 999) manyShort.push_back({Operation::Read, {}});
  }
  manyShort.push_back({Operation::Clear, {}});  // the next job's clear
  manyShort.push_back({Operation::Append, u"after the clear"});
  std::vector<Operation> longPages{{Operation::Read, {}}, {Operation::Clear, {}}};
  for (int page = 1; page <= 20; ++page) {
    longPages.push_back({Operation::Status, u"page " + DecimalDigits(page)});
    // Every seventh page is one of many short lines.
    longPages.push_back(
        {Operation::Append, Lines(page % 7 == 0 ? 3000 : 150, page % 7 == 0 ? 12 : 300)});
    if (page % 10 == 0) longPages.push_back({Operation::Read, {}});
  }
  const struct {
    const char* name;
    QString before;  // the output box's text before the job
    std::vector<Operation> operations;
  } cases[] = {
      {"many short blocks", QStringLiteral("earlier\n"), manyShort},
      {"long pages", QString(), longPages},
      // The user removed the final break: each block then comes after a
      // break, and a block that ends with a break puts the next after it.
      {"no final break",
       QStringLiteral("kept"),
       {{Operation::Append, u"two"},
        {Operation::Append, u"three\r\n"},
        {Operation::Append, u"four"},
        {Operation::Read, {}},
        {Operation::Append, u"five\r"},
        {Operation::Append, u"six"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The reference: every operation carried out on its own, as it comes,
    // and read back at once.
    TfrmMain reference;
    Find<QPlainTextEdit>(reference, "mmoText")->setPlainText(c.before);
    reference.SetBusyFlag(1);
    std::vector<Shown> states{ShownBy(reference)};
    std::vector<Text> expectedReads;
    const auto apply = [](TfrmMain& window, const Operation& operation, std::vector<Text>& reads) {
      switch (operation.kind) {
        case Operation::Clear:
          window.ClearOutput();
          break;
        case Operation::Append:
          window.AppendOutput(operation.text);
          break;
        case Operation::Status:
          window.ShowStatus(operation.text, u"A");
          break;
        case Operation::Read:
          reads.push_back(window.ReadOutput());
          break;
      }
    };
    for (const Operation& operation : c.operations) {
      apply(reference, operation, expectedReads);
      reference.ReadOutput();
      states.push_back(ShownBy(reference));
    }
    reference.ClearBusyFlag();
    states.push_back(ShownBy(reference));

    TfrmMain window;
    Find<QPlainTextEdit>(window, "mmoText")->setPlainText(c.before);
    window.SetBusyFlag(1);
    // Whenever the event loop gets its turn, what shows is the state after
    // a prefix of the operations, never an earlier one than before.
    size_t prefix = 0;
    size_t turns = 0;
    bool onlyPrefixes = true;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      ++turns;
      const Shown shown = ShownBy(window);
      while (prefix < states.size() && !(states[prefix] == shown)) ++prefix;
      if (prefix == states.size()) onlyPrefixes = false;
    });
    probe.start();
    std::vector<Text> reads;
    Worker worker([&] {
      for (const Operation& operation : c.operations) apply(window, operation, reads);
      window.ClearBusyFlag();
    });
    ASSERT_TRUE(worker.Finish());
    ASSERT_TRUE(WaitUntil([&] { return window.BusyFlag() == 0 && prefix + 1 >= states.size(); }));
    probe.stop();
    EXPECT_TRUE(onlyPrefixes);
    // A long script spans many turns of the loop: states in between were seen.
    if (c.operations.size() > 100) {
      EXPECT_GT(turns, 2u);
    }
    EXPECT_EQ(reads, expectedReads);
    EXPECT_EQ(window.ReadOutput(), reference.ReadOutput());
  }
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
