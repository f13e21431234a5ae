// The socket layer over loopback, as every system must give it: receives and
// sends that never wait, and what each reports; the bounded waits and the
// waker; a connect that refuses, and one that a lent waker cuts short.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "os/Connect.h"
#include "os/Listen.h"
#include "os/Socket.h"
#include "os/Wait.h"
#include "tests/support/CaseName.h"
#include "tests/support/HostileServer.h"

namespace velbrook::testing {
namespace {

// Only a broken layer makes a test wait this long.
constexpr int kSafetyMs = 60000;

// Two connected ends: the client's and the one the listener accepted.
class SocketTest : public ::testing::Test {
 protected:
  SocketTest()
      : listening_(velbrook::ListenOnLoopback(0)),
        client_(ConnectTcp("127.0.0.1", LocalPort(listening_))) {
    EXPECT_EQ(WaitFor(listening_, Readiness::Readable, nullptr, kSafetyMs), WaitResult::Ready);
    server_ = Accept(listening_);
  }

  Socket listening_;
  Socket client_;
  Socket server_;
  Waker waker_;
};

// What the server end's peer does before the server looks.
enum class PeerAction { Nothing, Sends, ShutsItsSending, Closes };

struct ReceiveCase {
  const char* name;
  PeerAction peer;
  WaitResult wait;  // a wait of kShortMs for something to read
  IoStatus receive;
};

constexpr int kShortMs = 30;

class ReceiveTest : public SocketTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveTest, ReportsWhatThePeerDid) {
  switch (GetParam().peer) {
    case PeerAction::Nothing:
      break;
    case PeerAction::Sends:
      ASSERT_EQ(client_.Send("hello").bytes, 5u);
      break;
    case PeerAction::ShutsItsSending:
      client_.Shutdown(ShutdownSide::Sending);
      break;
    case PeerAction::Closes:
      client_.Close();
      break;
  }
  const int limitMs = GetParam().wait == WaitResult::TimedOut ? kShortMs : kSafetyMs;
  EXPECT_EQ(WaitFor(server_, Readiness::Readable, &waker_, limitMs), GetParam().wait);
  char piece[16];
  const IoResult received = server_.Receive(piece, sizeof piece);
  EXPECT_EQ(received.status, GetParam().receive);
  if (received.status == IoStatus::Moved) {
    EXPECT_EQ(std::string(piece, received.bytes), "hello");
  }
}

INSTANTIATE_TEST_SUITE_P(Peers, ReceiveTest,
                         ::testing::Values(ReceiveCase{"NothingSent", PeerAction::Nothing,
                                                       WaitResult::TimedOut, IoStatus::WouldBlock},
                                           ReceiveCase{"BytesSent", PeerAction::Sends,
                                                       WaitResult::Ready, IoStatus::Moved},
                                           ReceiveCase{"SendingShut", PeerAction::ShutsItsSending,
                                                       WaitResult::Ready, IoStatus::PeerClosed},
                                           ReceiveCase{"Closed", PeerAction::Closes,
                                                       WaitResult::Ready, IoStatus::PeerClosed}),
                         RowName());

struct WaitCase {
  const char* name;
  bool bytesSent;
  bool wakerRaised;
  Readiness what;
  int timeoutMs;
  WaitResult result;
};

class WaitTest : public SocketTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitTest, EndsAtReadinessWakeOrLimit) {
  if (GetParam().bytesSent) {
    ASSERT_EQ(client_.Send("x").status, IoStatus::Moved);
    // The bytes are there before the wait that counts.
    ASSERT_EQ(WaitFor(server_, Readiness::Readable, nullptr, kSafetyMs), WaitResult::Ready);
  }
  if (GetParam().wakerRaised) waker_.Raise();
  EXPECT_EQ(WaitFor(server_, GetParam().what, &waker_, GetParam().timeoutMs), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, WaitTest,
    ::testing::Values(
        WaitCase{"NothingArrives", false, false, Readiness::Readable, kShortMs,
                 WaitResult::TimedOut},
        WaitCase{"ZeroWaitOnlyLooks", false, false, Readiness::Readable, 0, WaitResult::TimedOut},
        WaitCase{"BytesWaiting", true, false, Readiness::Readable, 0, WaitResult::Ready},
        WaitCase{"RoomToSend", false, false, Readiness::Writable, 0, WaitResult::Ready},
        WaitCase{"WakerRaised", false, true, Readiness::Readable, -1, WaitResult::Woken},
        WaitCase{"RaisedWakerWinsOverBytes", true, true, Readiness::Readable, -1,
                 WaitResult::Woken}),
    RowName());

TEST_F(SocketTest, RaiseFromAnotherThreadEndsAWaitWithoutLimit) {
  std::thread raiser([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kShortMs));
    waker_.Raise();
  });
  EXPECT_EQ(WaitFor(server_, Readiness::Readable, &waker_, -1), WaitResult::Woken);
  raiser.join();
}

TEST_F(SocketTest, WaitForWakeEndsAtTheLimitOrTheRaise) {
  EXPECT_FALSE(WaitForWake(waker_, kShortMs));
  waker_.Raise();
  EXPECT_TRUE(WaitForWake(waker_, -1));
}

// A peer gone away makes a send fail; it must not end the program by a signal.
TEST_F(SocketTest, SendToAClosedPeerFailsWithoutASignal) {
  server_.Close();
  IoResult sent{IoStatus::Moved, 0, {}};
  for (int tries = 0; tries < 100 && sent.status != IoStatus::Failed; ++tries) {
    sent = client_.Send("after the close");
    WaitFor(client_, Readiness::Readable, nullptr, kShortMs);  // for the peer's reset
  }
  ASSERT_EQ(sent.status, IoStatus::Failed);
  EXPECT_TRUE(sent.error.value() == EPIPE || sent.error.value() == ECONNRESET)
      << sent.error.message();
}

TEST(ConnectTcpTest, RefusedConnectCarriesTheSystemsCode) {
  uint16_t closedPort = 0;
  {
    const Socket listening = velbrook::ListenOnLoopback(0);
    closedPort = LocalPort(listening);
  }
  try {
    ConnectTcp("127.0.0.1", closedPort);
    ADD_FAILURE() << "connected";
  } catch (const std::system_error& refused) {
    EXPECT_EQ(refused.code().value(), ECONNREFUSED);
    EXPECT_EQ(std::string(refused.what()).rfind("connect", 0), 0u) << refused.what();
  }
}

TEST(ConnectTcpTest, LentWakerCutsAnUnansweredConnectShort) {
  SilentListener silent;
  Waker waker;
  waker.Raise();
  EXPECT_EQ(ConnectWakeScope::Current(), nullptr);
  {
    const ConnectWakeScope lent(waker);
    EXPECT_EQ(ConnectWakeScope::Current(), &waker);
    try {
      ConnectTcp("127.0.0.1", silent.port());
      ADD_FAILURE() << "connected";
    } catch (const std::system_error& cut) {
      EXPECT_EQ(cut.code(), std::errc::operation_canceled);
    }
  }
  EXPECT_EQ(ConnectWakeScope::Current(), nullptr);
}

}  // namespace
}  // namespace velbrook::testing
