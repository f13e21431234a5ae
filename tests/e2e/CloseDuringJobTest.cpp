// The window closed by the user while its job is in each of its phases: in
// the host-name lookup, in a connect that nobody answers, blocked in a read
// in the middle of a thread, and while the pages' blocks are being appended.
// Every close must return without a message, end the worker and drop the
// connection, and (in the ThreadSanitizer build) without a race.
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <string>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "fetch/FetchError.h"
#include "fetch/HttpClient.h"
#include "forum/ForumServer.h"
#include "forum/ForumThread.h"
#include "os/Connect.h"
#include "tests/e2e/E2eFixture.h"
#include "tests/support/HostileServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/WindowProbe.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

// Only a client that never wakes waits this long.
constexpr int kSafetyMs = 60000;

// A connector that sends every host to one loopback port.
Connector ToLoopback(uint16_t port) {
  return [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); };
}

// The window dials the demo forum unless a test dials elsewhere.
class CloseDuringJobTest : public DemoForumTest {
 protected:
  void StartJob(const Text& address) {
    SetAddress(*window_, address);
    ClickStart(*window_);
  }

  // Closes the window as the user does while the job still runs; the worker
  // is gone once the window is.
  void CloseWhileRunning() {
    ASSERT_EQ(Busy(), 1) << "the job ended before the close";
    window_->close();
    window_.reset();
    EXPECT_TRUE(boxesSeen_.empty());
  }
};

// What the lookup comes back with once the close has begun.
enum class LookupEnd { Address, NotFound };

class CloseDuringLookupTest : public CloseDuringJobTest,
                              public ::testing::WithParamInterface<LookupEnd> {};

TEST_P(CloseDuringLookupTest, LookupThatEndsDuringTheCloseEndsTheJob) {
  ScriptedServer server({{Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")}});
  std::atomic<bool> inLookup{false};
  const LookupEnd end = GetParam();
  const uint16_t port = server.port();
  window_->frmMain().idhtp().SetConnector(
      [&inLookup, end, port](const std::string&, uint16_t) -> Socket {
        // A lookup that nothing can cut short; it happens to end just as the
        // close aborts the client.
        const Waker* waker = ConnectWakeScope::Current();
        EXPECT_NE(waker, nullptr) << "the client lends no waker to its connector";
        inLookup = true;
        if (waker != nullptr) WaitForWake(*waker, kSafetyMs);
        if (end == LookupEnd::NotFound)
          throw FetchError(FetchFailure::SocketError, "lookup: no such host", EAI_NONAME);
        return ConnectTcp("127.0.0.1", port);
      });
  StartJob(kSampleThreadAddress);
  ASSERT_TRUE(WaitUntil([&] { return inLookup.load(); }));
  CloseWhileRunning();
  EXPECT_EQ(server.Requests().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ends, CloseDuringLookupTest,
                         ::testing::Values(LookupEnd::Address, LookupEnd::NotFound),
                         [](const auto& row) {
                           return std::string(row.param == LookupEnd::Address ? "WithAnAddress"
                                                                              : "NotFound");
                         });

TEST_F(CloseDuringJobTest, ConnectThatNobodyAnswers) {
  SilentListener silent;
  window_->frmMain().idhtp().SetConnector(ToLoopback(silent.port()));
  StartJob(kSampleThreadAddress);
  ASSERT_TRUE(WaitUntil([&] { return silent.PendingConnects() > 0; }));
  CloseWhileRunning();
  EXPECT_EQ(silent.PendingConnects(), 0);
}

// A thread of the demo forum whose pages stop answering from one page on.
class CloseDuringThreadTest : public CloseDuringJobTest {
 protected:
  CloseDuringThreadTest() { forum_.AddGeneratedThread(thread_); }
  void StallFromPage(std::size_t number) {
    for (std::size_t page = number; page <= thread_.pageCount; ++page)
      forum_.FailPage(PagePath(page), PageFailure::Stall);
  }
  std::string PagePath(std::size_t number) const {
    return ThreadPagePath(NumberedPageName(thread_.firstName, number));
  }
  Text ThreadAddress() const { return kForumSiteAddress + FromUtf8(PagePath(1)); }

  GeneratedThread thread_{u"9100000", 40, 6, 300};
};

TEST_F(CloseDuringThreadTest, ReadBlockedInTheMiddleOfTheThread) {
  StallFromPage(4);
  StartJob(ThreadAddress());
  ASSERT_TRUE(RequestArrived(forum_, PagePath(4)));
  // Pages 1 to 3 have been appended or are on their way to the window.
  CloseWhileRunning();
  forum_.Stop();
}

TEST_F(CloseDuringThreadTest, WhileBlocksAreBeingAppended) {
  // The last page never answers, so the job is still running at the close
  // however fast the pages before it come.
  StallFromPage(thread_.pageCount);
  StartJob(ThreadAddress());
  ASSERT_TRUE(WaitUntil([&] { return !Output().empty(); }));
  CloseWhileRunning();
  forum_.Stop();
}

}  // namespace
}  // namespace velbrook::testing
