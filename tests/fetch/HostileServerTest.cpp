// The HTTP client against servers that misbehave without end or on purpose:
// endless or huge heads, absurd sizes, silence, early, doubled and cut-off
// answers. Each fetch must fail with its own failure kind (or succeed as the
// framing rules say), keep its memory bounded, leave nothing of the bad
// answer for the next fetch, and leave the client fit for that next fetch.
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "fetch/HttpClient.h"
#include "tests/support/HostileServer.h"

namespace velbrook::testing {
namespace {

constexpr const char16_t* kPage = u"http://www.forum.example/p/1.shtml";
constexpr const char16_t* kNextPage = u"http://www.forum.example/p/2.shtml";
constexpr uint64_t kMiB = uint64_t{1} << 20;
// What a hostile stream is allowed to cost the client's process at most.
// Generous (sanitizer builds carry shadow memory), yet far below what the
// streams would cost a client that held on to them.
constexpr uint64_t kMemoryBound = 192 * kMiB;
// A stream longer than any client limit, ended by the client giving up.
constexpr uint64_t kEndless = 4096 * kMiB;

std::string Ok(const std::string& body, const std::string& headers = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body;
}

// The sound server that every test turns to after the hostile one.
void AnswerFresh(Peer& peer) {
  if (peer.ReadRequest() && peer.Send(Ok("fresh"))) peer.AwaitClientClose();
}

class HostileTest : public ::testing::Test {
 protected:
  HostileTest() {
    client_.SetConnector([this](const std::string&, uint16_t) {
      ++dials_;
      return ConnectTcp("127.0.0.1", server_->port());
    });
  }

  void Serve(std::vector<Handler> handlers) { server_ = std::make_unique<HostileServer>(std::move(handlers)); }

  std::optional<FetchError> FailureOf(const char16_t* url, std::string& body) {
    try {
      client_.Get(url, body);
    } catch (const FetchError& error) {
      return error;
    }
    return std::nullopt;
  }

  // The next fetch reads the fresh answer of a new connection, nothing else.
  void ExpectFreshNextFetch() {
    std::string body;
    client_.Get(kNextPage, body);
    EXPECT_EQ(body, "fresh");
    EXPECT_EQ(server_->ConnectionsAccepted(), 2);
  }

  HttpClient client_;
  std::unique_ptr<HostileServer> server_;
  int dials_ = 0;
};

struct HostileCase {
  const char* name;
  Handler hostile;
  FetchFailure failure;
  int readTimeoutMs = 30000;
};

class HostileFailureTest : public HostileTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFailureTest, FailsWithItsKindInBoundedMemoryAndTheNextFetchIsFresh) {
  Serve({GetParam().hostile, AnswerFresh});
  client_.SetReadTimeout(GetParam().readTimeoutMs);
  const uint64_t peakBefore = PeakResidentBytes();
  std::string body;
  const std::optional<FetchError> error = FailureOf(kPage, body);
  ASSERT_TRUE(error) << "the fetch succeeded with " << body.size() << " bytes";
  EXPECT_EQ(error->failure(), GetParam().failure) << error->what();
  EXPECT_TRUE(body.empty());
  EXPECT_FALSE(client_.HasConnection());
  EXPECT_LT(PeakResidentBytes() - peakBefore, kMemoryBound);
  client_.SetReadTimeout(30000);
  ExpectFreshNextFetch();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileFailureTest,
    ::testing::Values(
        HostileCase{"EndlessHeaderLines",
                    [](Peer& peer) {
                      if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\n"))
                        peer.Stream("X-Pad: v\r\n", kEndless);
                    },
                    FetchFailure::LineTooLong},
        HostileCase{"StatusLineOfOneMegabyte",
                    [](Peer& peer) {
                      if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 " + std::string(kMiB, 'O') + "\r\n\r\n"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::LineTooLong},
        HostileCase{"EndlessStatusLine",
                    [](Peer& peer) {
                      if (peer.ReadRequest()) peer.Stream("HTTP/1.1 200 OK", kEndless);
                    },
                    FetchFailure::LineTooLong},
        HostileCase{"TenThousandHeaderLines",
                    [](Peer& peer) {
                      std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n";
                      for (int i = 0; i < 10000; ++i) head += "X-" + std::to_string(i) + ": v\r\n";
                      if (peer.ReadRequest() && peer.Send(head + "\r\nbody")) peer.AwaitClientClose();
                    },
                    FetchFailure::LineTooLong},
        HostileCase{"LargestChunkSizeThenClose",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n"))
                        peer.Stream("x", 8 * kMiB);
                    },
                    FetchFailure::ConnectionClosed},
        HostileCase{"LargestChunkSizeOnAFailingResponseThenClose",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 404 No\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n"))
                        peer.Stream("x", 64 * kMiB);
                    },
                    FetchFailure::ConnectionClosed},
        HostileCase{"AcceptsAndNeverAnswers", [](Peer& peer) { peer.AwaitClientClose(); },
                    FetchFailure::ReadTimeout, 200},
        HostileCase{"StallsWithinTheBody",
                    [](Peer& peer) {
                      if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::ReadTimeout, 200},
        HostileCase{"ResetMidBody",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(100000, 'b')))
                        peer.Reset();
                    },
                    FetchFailure::SocketError},
        HostileCase{"ResetMidChunk",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000\r\n" +
                                    std::string(1000, 'c')))
                        peer.Reset();
                    },
                    FetchFailure::SocketError}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileTest, ResetMidBodyCarriesTheResetCode) {
  Serve({[](Peer& peer) {
           if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\nabc")) peer.Reset();
         },
         AnswerFresh});
  std::string body;
  const std::optional<FetchError> error = FailureOf(kPage, body);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), ECONNRESET);
}

TEST_F(HostileTest, ChunkSizePastTheLargestNumberEndsTheBodyAndTheRestIsNeverRead) {
  // 16 hex digits above 7fff... do not read as a number: size 0, the body
  // ends. What follows (sent with it, so that it has arrived) answers nothing.
  Serve({[](Peer& peer) {
           if (peer.ReadRequest() &&
               peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n\r\n" +
                         Ok("stale")))
             peer.Stream(Ok("stale"), 16 * kMiB);
         },
         AnswerFresh});
  std::string body;
  client_.Get(kPage, body);
  EXPECT_EQ(body, "");
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, HugeAnnouncedLengthHoldsOnlyWhatArrives) {
  const std::string page(kMiB, 'p');
  Serve({[&page](Peer& peer) {
           if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n" + page))
             peer.AwaitClientClose();
         },
         AnswerFresh});
  const uint64_t peakBefore = PeakResidentBytes();
  // The server's side stays open, so the client waits for the rest until its read time-out.
  client_.SetReadTimeout(300);
  std::string body;
  const std::optional<FetchError> error = FailureOf(kPage, body);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::ReadTimeout);
  EXPECT_TRUE(body.empty());
  EXPECT_LT(PeakResidentBytes() - peakBefore, kMemoryBound);
  client_.SetReadTimeout(30000);
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, HugeAnnouncedLengthCutByACloseIsThePage) {
  const std::string page(kMiB, 'p');
  Serve({[&page](Peer& peer) {
           if (peer.ReadRequest()) peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n" + page);
         },
         AnswerFresh});
  const uint64_t peakBefore = PeakResidentBytes();
  std::string body;
  client_.Get(kPage, body);
  EXPECT_EQ(body, page);
  EXPECT_LT(PeakResidentBytes() - peakBefore, kMemoryBound);
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, AbortFromAnotherThreadEndsABodyThatNeverEnds) {
  std::promise<void> streaming;
  Serve({[&streaming](Peer& peer) {
    if (!peer.ReadRequest() || !peer.Send("HTTP/1.1 200 OK\r\n\r\n")) return;
    streaming.set_value();
    peer.Stream("endless body ", kEndless);
  }});
  std::promise<std::optional<FetchError>> outcome;
  std::thread worker([&] {
    std::string body;
    outcome.set_value(FailureOf(kPage, body));
  });
  streaming.get_future().wait();
  client_.Abort();
  worker.join();
  const std::optional<FetchError> error = outcome.get_future().get();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::Aborted);
  EXPECT_FALSE(client_.HasConnection());
  EXPECT_TRUE(server_->WaitForHandlers());
  // The window is going away: every later fetch fails the same way, undialled.
  std::string body;
  EXPECT_EQ(FailureOf(kNextPage, body)->failure(), FetchFailure::Aborted);
  EXPECT_EQ(dials_, 1);
}

TEST_F(HostileTest, AnswerBeforeTheRequestIsTheAnswerAndTheConnectionStaysInStep) {
  // The server answers as soon as it accepts, then reads the requests late.
  Serve({[](Peer& peer) {
    if (!peer.Send(Ok("early")) || !peer.ReadRequest() || !peer.ReadRequest()) return;
    if (peer.Send(Ok("second"))) peer.AwaitClientClose();
  }});
  std::string first;
  client_.Get(kPage, first);
  EXPECT_EQ(first, "early");
  std::string second;
  client_.Get(kNextPage, second);
  EXPECT_EQ(second, "second");
  EXPECT_EQ(server_->ConnectionsAccepted(), 1);
}

TEST_F(HostileTest, SurplusAnswerLargerThanAReceivePieceIsNeverTheNextResponse) {
  Serve({[](Peer& peer) {
           if (peer.ReadRequest() && peer.Send(Ok("first") + Ok(std::string(kMiB, 's')))) peer.AwaitClientClose();
         },
         AnswerFresh});
  std::string first;
  client_.Get(kPage, first);
  EXPECT_EQ(first, "first");
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, CookieValueWithATabIsSentBackAndLaterRequestsStillGoOut) {
  std::promise<std::string> secondHead;
  Serve({[&secondHead](Peer& peer) {
    if (!peer.ReadRequest() || !peer.Send(Ok("first", "Set-Cookie: a=1\t2\r\n"))) return;
    if (!peer.ReadRequest()) return;
    secondHead.set_value(peer.LastRequest());
    if (peer.Send(Ok("second"))) peer.AwaitClientClose();
  }});
  std::string body;
  client_.Get(kPage, body);
  client_.Get(kNextPage, body);
  EXPECT_EQ(body, "firstsecond");
  EXPECT_NE(secondHead.get_future().get().find("\r\nCookie: a=1\t2\r\n"), std::string::npos);
}

}  // namespace
}  // namespace velbrook::testing
