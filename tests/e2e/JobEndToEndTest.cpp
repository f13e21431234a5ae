// Whole jobs as the user runs them: real clicks on the Start button of the
// real window, the worker fetching from the demo forum on loopback, the
// messages answered by the test, and the window closed while a job runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "forum/SampleThreads.h"
#include "tests/e2e/E2eFixture.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

const Text kImplausible = u"你输入的网址好像不是天涯的网址喔,请直接从那边复制过来吧!";
const Text kRunning = u"已经在帮你干活啦!猴急什么的最讨厌啦!";
// The sample address names page 1 of the serial thread: one fetch for the
// page list, then one per page.
constexpr std::size_t kSerialJobRequests = 5;

std::string SerialPage(std::size_t number) {
  return ThreadPagePath(NumberedPageName(kSerialThreadName, number));
}

class JobEndToEnd : public DemoForumTest {
 protected:
  JobEndToEnd() { window_->show(); }
  bool JobEnded() const {
    return WaitUntil([this] { return Busy() == 0; });
  }
};

TEST_F(JobEndToEnd, WholeJobFromStartToTheOutputText) {
  ClickStart(*window_);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_thread.txt")));
  EXPECT_EQ(Progress(), u"当前进度:100.00%,(4/4)");
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_EQ(forum_.RequestCount(), kSerialJobRequests);
}

TEST_F(JobEndToEnd, TwoQuickPressesStartOneJob) {
  ClickStart(*window_);
  ClickStart(*window_);
  ASSERT_EQ(boxesSeen_.size(), 1u);
  EXPECT_EQ(boxesSeen_[0].text, kRunning);
  EXPECT_EQ(boxesSeen_[0].icon, MessageIcon::Information);
  EXPECT_EQ(boxesSeen_[0].caption, kWindowCaption);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(forum_.RequestCount(), kSerialJobRequests);
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_thread.txt")));
}

TEST_F(JobEndToEnd, ImplausibleAddressWhileBusyGetsTheAddressMessage) {
  forum_.FailPage(SerialPage(2), PageFailure::Stall);
  ClickStart(*window_);
  ASSERT_TRUE(RequestArrived(forum_, SerialPage(2)));
  // The progress text of page 2 was handed over before its request left.
  ASSERT_TRUE(WaitUntil([this] { return Progress() == u"当前进度:50.00%,(2/4)"; }));
  SetAddress(*window_, u"HTTP://www.forum.example/publicforum/content/funinfo/1/2273274.shtml");
  ClickStart(*window_);
  ASSERT_EQ(boxesSeen_.size(), 1u);
  EXPECT_EQ(boxesSeen_[0].text, kImplausible);
  EXPECT_EQ(boxesSeen_[0].icon, MessageIcon::Error);
  EXPECT_EQ(Busy(), 1);
}

TEST_F(JobEndToEnd, StartWorksAgainAtOnceAfterASilentlyFailedJob) {
  forum_.FailPage(SerialPage(3), PageFailure::Status500);
  ClickStart(*window_);
  ASSERT_TRUE(JobEnded());
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_pages_1_2.txt")));
  EXPECT_EQ(Progress(), u"当前进度:75.00%,(3/4)");
  EXPECT_EQ(std::ranges::count(Targets(forum_), SerialPage(4)), 0);

  forum_.ClearFailures();
  ClickStart(*window_);
  EXPECT_EQ(Busy(), 1);
  ASSERT_TRUE(JobEnded());
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_thread.txt")));
  EXPECT_EQ(Progress(), u"当前进度:100.00%,(4/4)");
}

TEST_F(JobEndToEnd, FailedTypedPageLeavesTheLastOutputAndProgress) {
  ClickStart(*window_);
  ASSERT_TRUE(JobEnded());
  forum_.FailPage(SerialPage(1), PageFailure::Close);
  ClickStart(*window_);
  ASSERT_TRUE(JobEnded());
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_thread.txt")));
  EXPECT_EQ(Progress(), u"当前进度:100.00%,(4/4)");
}

TEST_F(JobEndToEnd, ClosingMidJobWithTheWorkerBlockedInARead) {
  forum_.FailPage(SerialPage(3), PageFailure::Stall);
  ClickStart(*window_);
  ASSERT_TRUE(RequestArrived(forum_, SerialPage(3)));
  const auto before = std::chrono::steady_clock::now();
  window_->close();
  window_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, kCloseLimit);
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_EQ(std::ranges::count(Targets(forum_), SerialPage(4)), 0);
}

TEST_F(JobEndToEnd, ClosingMidJobBetweenPages) {
  ClickStart(*window_);
  ASSERT_TRUE(WaitUntil([this] { return !Progress().ends_with(u":"); }));
  window_->close();
  window_.reset();
  EXPECT_TRUE(boxesSeen_.empty());
  EXPECT_LE(forum_.RequestCount(), kSerialJobRequests);
}

}  // namespace
}  // namespace velbrook::testing
