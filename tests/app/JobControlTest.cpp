// The Start button and the worker: the address test, one job at a time, the
// silent end of a failed run, a refused thread, and the window going away
// while its worker waits on the network or on the window itself.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "app/DefaultError.h"
#include "app/MainUnit.h"
#include "app/MyThread.h"
#include "app/Site.h"
#include "fetch/FetchError.h"
#include "fetch/HttpClient.h"
#include "os/Connect.h"
#include "tests/app/FakeWindow.h"
#include "tests/support/CaseName.h"
#include "tests/support/ScriptedServer.h"

namespace velbrook::testing {
namespace {

const Text kImplausible = u"你输入的网址好像不是天涯的网址喔,请直接从那边复制过来吧!";
const Text kRunning = u"已经在帮你干活啦!猴急什么的最讨厌啦!";
const Text kPlausible = u"http://www.forum.example/publicforum/content/funinfo/1/1.shtml";

struct AddressCase {
  const char* name;
  Text address;
  bool plausible;
};

class CheckWebSiteTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(CheckWebSiteTest, ExactSubstringsOfSiteAndShtml) {
  FakeWindow window;
  window.address = GetParam().address;
  EXPECT_EQ(window.frmMain.CheckWebSite(), GetParam().plausible);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CheckWebSiteTest,
    ::testing::Values(AddressCase{"Sample", kSampleThreadAddress, true},
                      AddressCase{"Empty", u"", false},
                      AddressCase{"NoShtml", u"http://www.forum.example/publicforum/1.html", false},
                      AddressCase{"NoSite", u"http://www.other.example/1.shtml", false},
                      AddressCase{"UpperCaseScheme", u"HTTP://www.forum.example/1.shtml", false},
                      AddressCase{"UpperCaseHost", u"http://WWW.forum.example/1.shtml", false},
                      AddressCase{"UpperCaseShtml", u"http://www.forum.example/1.SHTML", false},
                      AddressCase{"SpacesAround", u"  http://www.forum.example/1.shtml  ", true},
                      AddressCase{"ShtmlFirst", u"shtml then http://www.forum.example", true},
                      AddressCase{"InsideOtherText", u"xhttp://www.forum.example.evilshtmlx", true},
                      AddressCase{"SiteWithoutSlashes", u"http:/www.forum.example/1.shtml", false},
                      AddressCase{"ShtmlOnly", u"shtml", false}),
    RowName());

// A window whose client dials a scripted loopback server for every host.
class JobControlTest : public ::testing::Test {
 protected:
  void Serve(std::vector<Script> scripts) {
    server_ = std::make_unique<ScriptedServer>(std::move(scripts));
    const uint16_t port = server_->port();
    window_->frmMain.idhtp().SetConnector(
        [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); });
  }
  void RefuseConnections() {
    const uint16_t port = UnusedLoopbackPort();
    window_->frmMain.idhtp().SetConnector(
        [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); });
  }
  int& Busy() { return window_->frmMain.btnStart.Tag; }
  bool FlagBackToZero() {
    return window_->WaitUntil([this] { return Busy() == 0; });
  }

  std::unique_ptr<ScriptedServer> server_;
  std::unique_ptr<FakeWindow> window_ = std::make_unique<FakeWindow>();
  // Every box shown, counted where the window's end cannot take it along.
  int boxesShown_ = 0;
  JobControlTest() {
    window_->whileOpen = [this](const MessageBoxRequest&) { ++boxesShown_; };
  }
};

TEST_F(JobControlTest, ImplausibleAddressStartsNothing) {
  RefuseConnections();
  window_->address = u"http://www.other.example/1.shtml";
  window_->ClickStart();
  ASSERT_EQ(window_->boxes.size(), 1u);
  EXPECT_EQ(window_->boxes[0].text, kImplausible);
  EXPECT_EQ(window_->boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(window_->boxes[0].caption, kWindowCaption);
  EXPECT_EQ(Busy(), 0);
}

TEST_F(JobControlTest, AddressTestComesBeforeTheBusyTest) {
  window_->address = u"";
  Busy() = 1;
  window_->ClickStart();
  ASSERT_EQ(window_->boxes.size(), 1u);
  EXPECT_EQ(window_->boxes[0].text, kImplausible);
  EXPECT_EQ(Busy(), 1);
  Busy() = 0;
}

TEST_F(JobControlTest, BusyFlagRefusesASecondJob) {
  Serve({});
  window_->address = kPlausible;
  Busy() = 1;
  window_->ClickStart();
  ASSERT_EQ(window_->boxes.size(), 1u);
  EXPECT_EQ(window_->boxes[0].text, kRunning);
  EXPECT_EQ(window_->boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(window_->boxes[0].caption, kWindowCaption);
  EXPECT_EQ(Busy(), 1);
  Busy() = 0;
  EXPECT_EQ(server_->ConnectionsAccepted(), 0);
}

TEST_F(JobControlTest, FailedRunEndsSilentlyAndKeepsTheWindow) {
  RefuseConnections();
  window_->output = u"earlier output";
  window_->address = kPlausible;
  window_->ClickStart();
  EXPECT_EQ(Busy(), 1);
  ASSERT_TRUE(FlagBackToZero());
  EXPECT_TRUE(window_->boxes.empty());
  EXPECT_EQ(window_->output, u"earlier output");
  EXPECT_EQ(window_->panels[3], u"当前进度:");
}

TEST_F(JobControlTest, StartWorksAgainAtOnceAfterAFailedRun) {
  RefuseConnections();
  window_->address = kPlausible;
  window_->ClickStart();
  ASSERT_TRUE(FlagBackToZero());
  window_->ClickStart();
  EXPECT_EQ(Busy(), 1);
  ASSERT_TRUE(FlagBackToZero());
  EXPECT_TRUE(window_->boxes.empty());
}

TEST_F(JobControlTest, RefusedThreadGoesToTheDefaultErrorBox) {
  RefuseConnections();
  TMyThread::SetLauncher([](std::function<void()>) -> std::thread {
    throw std::system_error(EAGAIN, std::generic_category());
  });
  window_->address = kPlausible;
  int flagWhileShown = -1;
  window_->whileOpen = [&](const MessageBoxRequest&) { flagWhileShown = Busy(); };
  window_->ClickStart();
  TMyThread::SetLauncher(nullptr);
  ASSERT_EQ(window_->boxes.size(), 1u);
  EXPECT_EQ(window_->boxes[0].text, u"Thread creation error: Resource temporarily unavailable.");
  EXPECT_EQ(window_->boxes[0].caption, ApplicationTitle());
  EXPECT_EQ(window_->boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(flagWhileShown, 0);
  EXPECT_EQ(Busy(), 0);
  // The next press starts a job as usual.
  window_->ClickStart();
  EXPECT_EQ(Busy(), 1);
  EXPECT_TRUE(FlagBackToZero());
}

TEST_F(JobControlTest, SecondPressWhileTheWorkerWaitsIsRefused) {
  Serve({{StallAfter("")}});
  window_->address = kPlausible;
  window_->ClickStart();
  ASSERT_TRUE(window_->WaitUntil([this] { return server_->Requests().size() >= 1; }));
  window_->ClickStart();
  ASSERT_EQ(window_->boxes.size(), 1u);
  EXPECT_EQ(window_->boxes[0].text, kRunning);
  EXPECT_EQ(server_->ConnectionsAccepted(), 1);
  EXPECT_EQ(Busy(), 1);
}

TEST_F(JobControlTest, ClosingWhileTheWorkerReadsAbortsTheRead) {
  Serve({{StallAfter("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial")}});
  window_->address = kPlausible;
  window_->ClickStart();
  // The worker reads the address through the window: the loop must turn.
  ASSERT_TRUE(window_->WaitUntil([this] { return server_->Requests().size() >= 1; }));
  ASSERT_TRUE(server_->WaitForReplies(1));
  const auto before = std::chrono::steady_clock::now();
  window_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, kCloseLimit);
  EXPECT_TRUE(server_->WaitForClientClose(0));
  EXPECT_EQ(boxesShown_, 0);
}

// The window goes before it ever turns its event loop again: the worker's
// read of the address box is released instead of waiting for ever, and no
// request leaves.
TEST_F(JobControlTest, ClosingWhileTheWorkerWaitsForTheWindowReleasesIt) {
  Serve({});
  window_->address = kPlausible;
  window_->frmMain.btnStartClick();
  EXPECT_EQ(Busy(), 1);
  window_.reset();
  EXPECT_EQ(server_->ConnectionsAccepted(), 0);
  EXPECT_EQ(boxesShown_, 0);
}

TEST_F(JobControlTest, ClosingAnIdleWindowAfterAJobIsQuiet) {
  RefuseConnections();
  window_->address = kPlausible;
  window_->ClickStart();
  ASSERT_TRUE(FlagBackToZero());
  window_.reset();
  EXPECT_EQ(boxesShown_, 0);
}

// A wait that ignores the client's wake-up (as a host-name lookup does):
// the window's end cannot join the worker, and the program ends at once
// instead of letting it outlive the window, saying so by its status.
TEST(JobControlDeathTest, WorkerThatCannotBeWokenEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto window = std::make_unique<FakeWindow>();
        std::atomic<bool> dialling{false};
        window->frmMain.idhtp().SetConnector([&dialling](const std::string&, uint16_t) -> Socket {
          dialling = true;
          std::this_thread::sleep_for(std::chrono::seconds(60));
          throw FetchError(FetchFailure::SocketError, "lookup gave up");
        });
        window->address = kPlausible;
        window->frmMain.btnStartClick();
        window->WaitUntil([&dialling] { return dialling.load(); });
        window.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

}  // namespace
}  // namespace velbrook::testing
