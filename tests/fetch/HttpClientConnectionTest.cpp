// The one reused connection: keep-alive decisions, host and port changes,
// surplus answers that must never be read as a later response, connect
// failures and Abort from another thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <future>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "os/Connect.h"
#include "tests/fetch/ClientFixture.h"
#include "tests/support/CaseName.h"

namespace velbrook::testing {
namespace {

constexpr const char16_t* kPage = u"http://www.forum.example/p/1.shtml";

// "http://127.0.0.1:<port><path>"
std::u16string LoopbackAddress(uint16_t port, const std::u16string& path) {
  const std::string digits = std::to_string(port);
  return u"http://127.0.0.1:" + std::u16string(digits.begin(), digits.end()) + path;
}

struct KeepAliveCase {
  const char* name;
  std::string first;  // the first response, on a connection the server leaves open
  int connections;    // connections that two fetches use
};

class KeepAliveTest : public ClientTest, public ::testing::WithParamInterface<KeepAliveCase> {};

TEST_P(KeepAliveTest, SecondFetchReusesOrReconnects) {
  // Each connection answers twice, so a reused one can serve the second fetch as well.
  ScriptedServer& server =
      Serve({{Reply(GetParam().first), Reply(Ok("second"))}, {Reply(Ok("second"))}});
  Fetch(kPage);
  EXPECT_EQ(Fetch(kPage), "second");
  EXPECT_EQ(server.ConnectionsAccepted(), GetParam().connections);
  EXPECT_EQ(server.Requests().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    ConnectionValues, KeepAliveTest,
    ::testing::Values(
        KeepAliveCase{"NoConnectionField", Ok("1"), 1},
        KeepAliveCase{"KeepAlive", Ok("1", "Connection: keep-alive\r\n"), 1},
        KeepAliveCase{"Close", Ok("1", "Connection: close\r\n"), 2},
        KeepAliveCase{"CloseInCapitalsWithBlanks", Ok("1", "Connection:  CLOSE \r\n"), 2},
        KeepAliveCase{"CloseListedWithAnotherToken", Ok("1", "Connection: close, foo\r\n"), 1},
        KeepAliveCase{"ProxyConnectionClose", Ok("1", "Proxy-Connection: Close\r\n"), 2},
        KeepAliveCase{"Http10WithoutConnection",
                      HttpResponse("HTTP/1.0 200 OK", "Content-Length: 1\r\n", "1"), 1}),
    RowName());

TEST_F(ClientTest, PeerCloseAfterTheResponseMeansANewConnection) {
  ScriptedServer& server = Serve({{ReplyAndClose(Ok("1"))}, {Reply(Ok("2"))}});
  Fetch(kPage);
  // A close that is still on its way when the next request goes out is a
  // race no client can win; this test is about a close that has arrived.
  ASSERT_TRUE(server.WaitForServerClose(0));
  EXPECT_EQ(Fetch(kPage), "2");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST_F(ClientTest, AnotherHostClosesTheOpenConnection) {
  ScriptedServer& server = Serve({{Reply(Ok("a"))}, {Reply(Ok("b")), Reply(Ok("c"))}});
  Fetch(u"http://one.example/x");
  EXPECT_EQ(Fetch(u"http://two.example/x"), "b");
  EXPECT_TRUE(server.WaitForClientClose(0));
  // The host is compared ignoring case: "TWO.example" is the same host.
  EXPECT_EQ(Fetch(u"http://TWO.example/x"), "c");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
  ASSERT_EQ(dials_.size(), 2u);
  EXPECT_EQ(dials_[1].first, "two.example");
}

TEST_F(ClientTest, AnotherPortClosesTheOpenConnection) {
  ScriptedServer& port80 = ServePort(80, {{Reply(Ok("80"))}, {Reply(Ok("80 again"))}});
  ScriptedServer& port81 = ServePort(81, {{Reply(Ok("81"))}});
  EXPECT_EQ(Fetch(u"http://h/x"), "80");
  EXPECT_EQ(Fetch(u"http://h:81/x"), "81");
  EXPECT_TRUE(port80.WaitForClientClose(0));
  EXPECT_EQ(Fetch(u"http://h:080/x"), "80 again");
  EXPECT_EQ(port80.ConnectionsAccepted(), 2);
  EXPECT_EQ(port81.ConnectionsAccepted(), 1);
}

TEST_F(ClientTest, SurplusAnswerAlreadyWaitingIsNeverTheNextResponse) {
  // The first connection answers its one request twice over.
  ScriptedServer& server = Serve({{Reply(Ok("first") + Ok("surplus"))}, {Reply(Ok("second"))}});
  EXPECT_EQ(Fetch(kPage), "first");
  EXPECT_EQ(Fetch(kPage), "second");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].connection, 1);
}

TEST_F(ClientTest, LateAnswerToATimedOutRequestIsNeverTheNextResponse) {
  ScriptedServer& server = Serve({{HeldReply(Ok("late"))}, {Reply(Ok("fresh"))}});
  client_.SetReadTimeout(200);
  EXPECT_EQ(FailureOf(kPage)->failure(), FetchFailure::ReadTimeout);
  server.Release();
  ASSERT_TRUE(server.WaitForReplies(1));
  EXPECT_EQ(Fetch(kPage), "fresh");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST_F(ClientTest, SurplusAfterAFailingResponseIsNeverTheNextResponse) {
  const std::string notFound = HttpResponse("HTTP/1.1 404 No", "Content-Length: 2\r\n", "no");
  ScriptedServer& server = Serve({{Reply(notFound + Ok("stale"))}, {Reply(Ok("fresh"))}});
  EXPECT_EQ(FailureOf(kPage)->code(), 404);
  EXPECT_EQ(Fetch(kPage), "fresh");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST(ConnectTcpTest, RefusedConnectIsASocketErrorWithItsCode) {
  HttpClient client;  // the default connector, straight to loopback
  std::string body;
  try {
    client.Get(LoopbackAddress(UnusedLoopbackPort(), u"/"), body);
    FAIL() << "connected to a port nobody listens on";
  } catch (const FetchError& error) {
    EXPECT_EQ(error.failure(), FetchFailure::SocketError);
    EXPECT_EQ(error.code(), ECONNREFUSED);
  }
  EXPECT_FALSE(client.HasConnection());
}

TEST(ConnectTcpTest, DefaultConnectorReachesALoopbackServer) {
  ScriptedServer server({{Reply(Ok("direct"))}});
  HttpClient client;
  std::string body;
  client.Get(LoopbackAddress(server.port(), u"/a"), body);
  EXPECT_EQ(body, "direct");
  EXPECT_EQ(HeaderOf(server.Request(0), "Host"), "127.0.0.1:" + std::to_string(server.port()));
}

TEST(ConnectTcpTest, LocalhostIsLookedUp) {
  ScriptedServer server({{Reply(Ok("by name"))}});
  Socket socket = ConnectTcp("localhost", server.port());
  EXPECT_TRUE(socket.valid());
}

TEST_F(ClientTest, AbortEndsABlockedReadAtOnce) {
  ScriptedServer& server = Serve({{StallAfter("")}});
  client_.SetReadTimeout(600000);  // far beyond the test's own limits
  std::promise<velbrook::FetchFailure> outcome;
  std::thread worker([&] {
    try {
      Fetch(kPage);
      outcome.set_value(FetchFailure::ProtocolError);
    } catch (const FetchError& error) {
      outcome.set_value(error.failure());
    }
  });
  ASSERT_TRUE(server.WaitForRequests(1));
  client_.Abort();
  worker.join();
  EXPECT_EQ(outcome.get_future().get(), FetchFailure::Aborted);
  EXPECT_FALSE(client_.HasConnection());
  // Every later operation fails the same way, without dialling.
  EXPECT_EQ(FailureOf(kPage)->failure(), FetchFailure::Aborted);
  EXPECT_EQ(dials_.size(), 1u);
}

TEST_F(ClientTest, AbortDropsTheKeptAliveConnection) {
  ScriptedServer& server = Serve({{Reply(Ok("kept alive"))}});
  Fetch(kPage);
  ASSERT_TRUE(client_.HasConnection());
  client_.Abort();
  EXPECT_EQ(FailureOf(kPage)->failure(), FetchFailure::Aborted);
  EXPECT_FALSE(client_.HasConnection());
  EXPECT_TRUE(server.WaitForClientClose(0));
}

TEST(ReadTimeOut, OfAFreshClientIsThirtySeconds) { EXPECT_EQ(HttpClient().ReadTimeout(), 30000); }

// What a connector throws becomes the fetch's failure; the body stays as it was.
struct DialFailureCase {
  const char* name;
  std::function<void()> raise;
  FetchFailure failure;
  const char* message;
};

class DialFailureTest : public ::testing::TestWithParam<DialFailureCase> {};

TEST_P(DialFailureTest, EndsTheFetchAs) {
  HttpClient client;
  client.SetConnector([](const std::string&, uint16_t) -> Socket {
    GetParam().raise();
    return Socket();
  });
  std::string body = "kept";
  try {
    client.Get(kPage, body);
    ADD_FAILURE() << "the fetch succeeded";
  } catch (const FetchError& error) {
    EXPECT_EQ(error.failure(), GetParam().failure);
    EXPECT_STREQ(error.what(), GetParam().message);
  }
  EXPECT_EQ(body, "kept");
  EXPECT_FALSE(client.HasConnection());
}

INSTANTIATE_TEST_SUITE_P(
    Connectors, DialFailureTest,
    ::testing::Values(DialFailureCase{"OutOfMemory", [] { throw std::bad_alloc(); },
                                      FetchFailure::OutOfMemory, "out of memory"},
                      DialFailureCase{"LengthPastItsType",
                                      [] { throw std::length_error("basic_string"); },
                                      FetchFailure::OutOfMemory, "out of memory"},
                      DialFailureCase{"SystemError",
                                      [] {
                                        throw std::system_error(ECONNREFUSED,
                                                                std::generic_category(), "connect");
                                      },
                                      FetchFailure::SocketError, "connect: Connection refused"}),
    RowName());

}  // namespace
}  // namespace velbrook::testing
