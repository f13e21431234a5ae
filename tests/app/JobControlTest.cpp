// The Start button and the worker: the address test, one job at a time, the
// silent end of a failed run, a refused thread, and the window going away
// while its worker waits on the network or on the window itself.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "app/MainUnit.h"
#include "app/MyThread.h"
#include "app/Site.h"
#include "fetch/FetchError.h"
#include "fetch/HttpClient.h"
#include "os/Connect.h"
#include "tests/support/CaseName.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/WindowProbe.h"

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
  TfrmMain window;
  SetAddress(window, GetParam().address);
  EXPECT_EQ(window.CheckWebSite(), GetParam().plausible);
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
    window_->idhtp().SetConnector(
        [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); });
  }
  void RefuseConnections() {
    const uint16_t port = UnusedLoopbackPort();
    window_->idhtp().SetConnector(
        [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); });
  }
  Text Output() { return FromQString(Find<QPlainTextEdit>(*window_, "mmoText")->toPlainText()); }
  bool FlagBackToZero() {
    return WaitUntil([this] { return window_->BusyFlag() == 0; });
  }

  MessageBoxRecorder boxes_;
  std::unique_ptr<ScriptedServer> server_;
  std::unique_ptr<TfrmMain> window_ = std::make_unique<TfrmMain>();
};

TEST_F(JobControlTest, ImplausibleAddressStartsNothing) {
  RefuseConnections();
  SetAddress(*window_, u"http://www.other.example/1.shtml");
  ClickStart(*window_);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, kImplausible);
  EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(boxes_.boxes[0].caption, kWindowCaption);
  EXPECT_EQ(window_->BusyFlag(), 0);
}

TEST_F(JobControlTest, AddressTestComesBeforeTheBusyTest) {
  SetAddress(*window_, u"");
  window_->SetBusyFlag(1);
  ClickStart(*window_);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, kImplausible);
  EXPECT_EQ(window_->BusyFlag(), 1);
  window_->SetBusyFlag(0);
}

TEST_F(JobControlTest, BusyFlagRefusesASecondJob) {
  Serve({});
  SetAddress(*window_, kPlausible);
  window_->SetBusyFlag(1);
  ClickStart(*window_);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, kRunning);
  EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(boxes_.boxes[0].caption, kWindowCaption);
  EXPECT_EQ(window_->BusyFlag(), 1);
  window_->SetBusyFlag(0);
  EXPECT_EQ(server_->ConnectionsAccepted(), 0);
}

TEST_F(JobControlTest, FailedRunEndsSilentlyAndKeepsTheWindow) {
  RefuseConnections();
  Find<QPlainTextEdit>(*window_, "mmoText")->setPlainText(QStringLiteral("earlier output"));
  SetAddress(*window_, kPlausible);
  ClickStart(*window_);
  EXPECT_EQ(window_->BusyFlag(), 1);
  ASSERT_TRUE(FlagBackToZero());
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(Output(), u"earlier output");
  EXPECT_EQ(window_->StatusPanelText(3), u"当前进度:");
}

TEST_F(JobControlTest, StartWorksAgainAtOnceAfterAFailedRun) {
  RefuseConnections();
  SetAddress(*window_, kPlausible);
  ClickStart(*window_);
  ASSERT_TRUE(FlagBackToZero());
  ClickStart(*window_);
  EXPECT_EQ(window_->BusyFlag(), 1);
  ASSERT_TRUE(FlagBackToZero());
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(JobControlTest, RefusedThreadGoesToTheDefaultErrorBox) {
  RefuseConnections();
  TMyThread::SetLauncher([](std::function<void()>) -> std::thread {
    throw std::system_error(EAGAIN, std::generic_category());
  });
  SetAddress(*window_, kPlausible);
  int flagWhileShown = -1;
  boxes_.whileOpen = [&](const MessageBoxRequest&) { flagWhileShown = window_->BusyFlag(); };
  ClickStart(*window_);
  TMyThread::SetLauncher(nullptr);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, u"Thread creation error: Resource temporarily unavailable.");
  EXPECT_EQ(boxes_.boxes[0].caption, ApplicationTitle());
  EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(flagWhileShown, 0);
  EXPECT_EQ(window_->BusyFlag(), 0);
  // The next press starts a job as usual.
  ClickStart(*window_);
  EXPECT_EQ(window_->BusyFlag(), 1);
  EXPECT_TRUE(FlagBackToZero());
}

TEST_F(JobControlTest, SecondPressWhileTheWorkerWaitsIsRefused) {
  Serve({{StallAfter("")}});
  SetAddress(*window_, kPlausible);
  ClickStart(*window_);
  ASSERT_TRUE(WaitUntil([this] { return server_->Requests().size() >= 1; }));
  ClickStart(*window_);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, kRunning);
  EXPECT_EQ(server_->ConnectionsAccepted(), 1);
  EXPECT_EQ(window_->BusyFlag(), 1);
}

TEST_F(JobControlTest, ClosingWhileTheWorkerReadsAbortsTheRead) {
  Serve({{StallAfter("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial")}});
  SetAddress(*window_, kPlausible);
  ClickStart(*window_);
  // The worker reads the address through the window: the loop must turn.
  ASSERT_TRUE(WaitUntil([this] { return server_->Requests().size() >= 1; }));
  ASSERT_TRUE(server_->WaitForReplies(1));
  const auto before = std::chrono::steady_clock::now();
  window_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, kCloseLimit);
  EXPECT_TRUE(server_->WaitForClientClose(0));
  EXPECT_TRUE(boxes_.boxes.empty());
}

// The window goes before it ever turns its event loop again: the worker's
// read of the address box is released instead of waiting for ever, and no
// request leaves.
TEST_F(JobControlTest, ClosingWhileTheWorkerWaitsForTheWindowReleasesIt) {
  Serve({});
  SetAddress(*window_, kPlausible);
  window_->btnStartClick(nullptr);
  EXPECT_EQ(window_->BusyFlag(), 1);
  window_.reset();
  EXPECT_EQ(server_->ConnectionsAccepted(), 0);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(JobControlTest, ClosingAnIdleWindowAfterAJobIsQuiet) {
  RefuseConnections();
  SetAddress(*window_, kPlausible);
  ClickStart(*window_);
  ASSERT_TRUE(FlagBackToZero());
  window_.reset();
  EXPECT_TRUE(boxes_.boxes.empty());
}

// A wait that ignores the client's wake-up (as a host-name lookup does):
// the window's end cannot join the worker, and the program ends at once
// instead of letting it outlive the window, saying so by its status.
TEST(JobControlDeathTest, WorkerThatCannotBeWokenEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        MessageBoxRecorder boxes;
        auto window = std::make_unique<TfrmMain>();
        std::atomic<bool> dialling{false};
        window->idhtp().SetConnector([&dialling](const std::string&, uint16_t) -> Socket {
          dialling = true;
          std::this_thread::sleep_for(std::chrono::seconds(60));
          throw FetchError(FetchFailure::SocketError, "lookup gave up");
        });
        SetAddress(*window, kPlausible);
        window->btnStartClick(nullptr);
        WaitUntil([&dialling] { return dialling.load(); });
        window.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

}  // namespace
}  // namespace velbrook::testing
