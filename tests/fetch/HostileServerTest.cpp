// The HTTP client against servers that misbehave without end or on purpose:
// endless or huge heads, absurd sizes, silence, early, doubled and cut-off
// answers. Each fetch must fail with its own failure kind (or succeed as the
// framing rules say), keep its memory bounded, leave nothing of the bad
// answer for the next fetch, and leave the client fit for that next fetch.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "fetch/HttpClient.h"
#include "fetch/ResponseReader.h"
#include "os/Connect.h"
#include "tests/support/CaseName.h"
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
// What the whole process may hold at its peak, a body at the page bound
// included. The thread sanitizer's shadow of such a body alone is larger, so
// under it the bound is not held.
#ifdef __SANITIZE_THREAD__
constexpr uint64_t kProcessBound = UINT64_MAX;
#else
constexpr uint64_t kProcessBound = 1024 * kMiB;
#endif
// A stream longer than any client limit, ended by the client giving up.
constexpr uint64_t kEndless = 4096 * kMiB;
// Chunks of 32 KB, one after another without end.
const std::string kChunk = "8000\r\n" + std::string(0x8000, 'c') + "\r\n";

std::string Ok(const std::string& body, const std::string& headers = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
         "\r\n" + body;
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

  void Serve(std::vector<Handler> handlers) {
    server_ = std::make_unique<HostileServer>(std::move(handlers));
  }

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
  uint64_t memoryBound = kMemoryBound;  // what the fetch may add to the process's peak
};

class HostileFailureTest : public HostileTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFailureTest, FailsInBoundedMemoryThenFetchesAfresh) {
  Serve({GetParam().hostile, AnswerFresh});
  client_.SetReadTimeout(GetParam().readTimeoutMs);
  const uint64_t peakBefore = PeakResidentBytes();
  std::string body;
  const std::optional<FetchError> error = FailureOf(kPage, body);
  ASSERT_TRUE(error) << "the fetch succeeded with " << body.size() << " bytes";
  EXPECT_EQ(error->failure(), GetParam().failure) << error->what();
  EXPECT_TRUE(body.empty());
  EXPECT_FALSE(client_.HasConnection());
  EXPECT_LT(PeakResidentBytes() - peakBefore, GetParam().memoryBound);
  EXPECT_LT(PeakResidentBytes(), kProcessBound);
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
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 " + std::string(kMiB, 'O') + "\r\n\r\n"))
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
                      if (peer.ReadRequest() && peer.Send(head + "\r\nbody"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::LineTooLong},
        HostileCase{
            "LargestChunkSizeThenClose",
            [](Peer& peer) {
              if (peer.ReadRequest() &&
                  peer.Send(
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n"))
                peer.Stream("x", 8 * kMiB);
            },
            FetchFailure::OutOfMemory},
        // A failing response's body is drained only up to the page bound; the
        // status decides the failure.
        HostileCase{
            "LargestChunkOnAFailingResponseThenClose",
            [](Peer& peer) {
              if (peer.ReadRequest() &&
                  peer.Send(
                      "HTTP/1.1 404 No\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n"))
                peer.Stream("x", 64 * kMiB);
            },
            FetchFailure::ProtocolError},
        HostileCase{"EndlessBody",
                    [](Peer& peer) {
                      if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\n\r\n"))
                        peer.Stream("body ", kEndless);
                    },
                    FetchFailure::OutOfMemory, 30000, kProcessBound},
        HostileCase{"EndlessChunks",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"))
                        peer.Stream(kChunk, kEndless);
                    },
                    FetchFailure::OutOfMemory, 30000, kProcessBound},
        HostileCase{"EndlessBodyOfAFailingResponse",
                    [](Peer& peer) {
                      if (peer.ReadRequest() && peer.Send("HTTP/1.1 500 Oops\r\n\r\n"))
                        peer.Stream("oops ", kEndless);
                    },
                    FetchFailure::ProtocolError},
        HostileCase{"EndlessChunksOfAFailingResponse",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 404 No\r\nTransfer-Encoding: chunked\r\n\r\n"))
                        peer.Stream(kChunk, kEndless);
                    },
                    FetchFailure::ProtocolError},
        // A length past the page bound is a buffer that cannot be made so large.
        HostileCase{"LengthOfATrillionThenFiveBytes",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send(
                              "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\nfive!"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::OutOfMemory},
        HostileCase{"LengthOfATrillionThenFiveBytesAndClose",
                    [](Peer& peer) {
                      if (peer.ReadRequest())
                        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\nfive!");
                    },
                    FetchFailure::OutOfMemory},
        HostileCase{"LengthOfTheLargestNumberThenFiveBytesAndClose",
                    [](Peer& peer) {
                      if (peer.ReadRequest())
                        peer.Send(
                            "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\nfive!");
                    },
                    FetchFailure::OutOfMemory},
        HostileCase{"LengthOfATrillionOnAFailingResponse",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send(
                              "HTTP/1.1 404 No\r\nContent-Length: 1000000000000\r\n\r\nfive!"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::ProtocolError},
        HostileCase{"AcceptsAndNeverAnswers", [](Peer& peer) { peer.AwaitClientClose(); },
                    FetchFailure::ReadTimeout, 200},
        HostileCase{"StallsWithinTheBody",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf"))
                        peer.AwaitClientClose();
                    },
                    FetchFailure::ReadTimeout, 200},
        HostileCase{"ResetMidBody",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" +
                                    std::string(100000, 'b')))
                        peer.Reset();
                    },
                    FetchFailure::SocketError},
        HostileCase{"ResetMidChunk",
                    [](Peer& peer) {
                      if (peer.ReadRequest() &&
                          peer.Send(
                              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000\r\n" +
                              std::string(1000, 'c')))
                        peer.Reset();
                    },
                    FetchFailure::SocketError}),
    RowName());

TEST_F(HostileTest, ResetMidBodyCarriesTheResetCode) {
  Serve({[](Peer& peer) {
           if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\nabc"))
             peer.Reset();
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
               peer.Send(
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n\r\n" +
                   Ok("stale")))
             peer.Stream(Ok("stale"), 16 * kMiB);
         },
         AnswerFresh});
  std::string body;
  client_.Get(kPage, body);
  EXPECT_EQ(body, "");
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, LengthAtTheBoundHoldsOnlyWhatArrives) {
  const std::string page(kMiB, 'p');
  Serve({[&page](Peer& peer) {
           if (peer.ReadRequest() && peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                               std::to_string(kMaxBodyBytes) + "\r\n\r\n" + page))
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

TEST_F(HostileTest, LengthAtTheBoundCutByACloseIsThePage) {
  const std::string page(kMiB, 'p');
  Serve({[&page](Peer& peer) {
           if (peer.ReadRequest())
             peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kMaxBodyBytes) +
                       "\r\n\r\n" + page);
         },
         AnswerFresh});
  const uint64_t peakBefore = PeakResidentBytes();
  std::string body;
  client_.Get(kPage, body);
  EXPECT_EQ(body, page);
  EXPECT_LT(PeakResidentBytes() - peakBefore, kMemoryBound);
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, ServerThatStopsReadingFailsTheFetchWithinTheReadTimeOut) {
  // A request target far larger than what the sockets between them can hold.
  const std::u16string page = kPage + std::u16string(16 * kMiB, u'a');
  Serve({[](Peer& peer) { peer.AwaitStop(); }, AnswerFresh});
  constexpr int kTimeoutMs = 300;
  client_.SetReadTimeout(kTimeoutMs);
  const auto start = std::chrono::steady_clock::now();
  std::string body;
  const std::optional<FetchError> error = FailureOf(page.c_str(), body);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::ReadTimeout) << error->what();
  // Generous: the wait that ran out is one of the time-out; filling the buffers before it is quick.
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(kTimeoutMs) + std::chrono::seconds(20));
  EXPECT_FALSE(client_.HasConnection());
  client_.SetReadTimeout(30000);
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, ResetWhileTheRequestGoesOutFailsTheFetchAtOnce) {
  // A request far larger than the sockets hold, so that the reset meets the client sending.
  const std::u16string page = kPage + std::u16string(16 * kMiB, u'a');
  Serve({[](Peer& peer) { peer.Reset(); }});
  // The dead socket stays ready for sending: a send tried again would spin until this abort.
  std::promise<void> finished;
  std::thread watchdog([this, done = finished.get_future()] {
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) client_.Abort();
  });
  std::string body;
  const std::optional<FetchError> error = FailureOf(page.c_str(), body);
  finished.set_value();
  watchdog.join();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::SocketError) << error->what();
  EXPECT_TRUE(error->code() == ECONNRESET || error->code() == EPIPE) << error->what();
  EXPECT_FALSE(client_.HasConnection());
}

TEST_F(HostileTest, ServerThatReadsLateGetsTheWholeRequest) {
  // The client's sends wait for room until the server starts reading.
  const std::u16string page = kPage + std::u16string(16 * kMiB, u'a');
  Serve({[](Peer& peer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (peer.ReadRequest() && peer.Send(Ok(std::to_string(peer.LastRequest().size()))))
      peer.AwaitClientClose();
  }});
  std::string body;
  client_.Get(page.c_str(), body);
  EXPECT_GT(std::stoull(body), 16 * kMiB);
}

TEST_F(HostileTest, FailingBodyArrivingByteByByteIsDrainedAndTheConnectionKept) {
  Serve({[](Peer& peer) {
    const std::string body = "<html>not here</html>\n";
    if (!peer.ReadRequest() || !peer.Send("HTTP/1.1 404 No\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n"))
      return;
    for (const char& byte : body) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (!peer.Send(std::string_view(&byte, 1))) return;
    }
    if (peer.ReadRequest() && peer.Send(Ok("next"))) peer.AwaitClientClose();
  }});
  std::string body;
  const std::optional<FetchError> error = FailureOf(kPage, body);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 404);
  client_.Get(kNextPage, body);
  EXPECT_EQ(body, "next");
  EXPECT_EQ(server_->ConnectionsAccepted(), 1);
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
           if (peer.ReadRequest() && peer.Send(Ok("first") + Ok(std::string(kMiB, 's'))))
             peer.AwaitClientClose();
         },
         AnswerFresh});
  std::string first;
  client_.Get(kPage, first);
  EXPECT_EQ(first, "first");
  ExpectFreshNextFetch();
}

TEST_F(HostileTest, ThirtyTwoMegabytesOfCookiesLeaveTheNextRequestQuickAndSmall) {
  // 8000 cookies of 4000 bytes, 200 to a head, in 39 interim heads and the final one.
  constexpr int kHeads = 40;
  constexpr int kPerHead = 200;
  std::promise<std::string> secondHead;
  Serve({[&secondHead](Peer& peer) {
    if (!peer.ReadRequest()) return;
    for (int head = 0; head < kHeads; ++head) {
      std::string lines = head + 1 < kHeads ? "HTTP/1.1 100 Continue\r\n"
                                            : "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n";
      for (int i = 0; i < kPerHead; ++i) {
        const std::string name = "c" + std::to_string(head * kPerHead + i) + "=";
        lines += "Set-Cookie: " + name + std::string(4000 - name.size(), 'v') + "\r\n";
      }
      if (!peer.Send(lines + "\r\n")) return;
    }
    if (!peer.Send("1") || !peer.ReadRequest()) return;
    secondHead.set_value(peer.LastRequest());
    if (peer.Send(Ok("2"))) peer.AwaitClientClose();
  }});
  std::string body;
  client_.Get(kPage, body);
  const auto start = std::chrono::steady_clock::now();
  client_.Get(kNextPage, body);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(body, "12");
  // Only the newest cookies of the domain entry go out.
  const std::string head = secondHead.get_future().get();
  const int last = kHeads * kPerHead - 1;
  EXPECT_NE(head.find("c" + std::to_string(last) + "="), std::string::npos);
  EXPECT_NE(
      head.find("c" + std::to_string(last + 1 - static_cast<int>(kMaxCookiesPerDomain)) + "="),
      std::string::npos);
  EXPECT_EQ(head.find("c" + std::to_string(last - static_cast<int>(kMaxCookiesPerDomain)) + "="),
            std::string::npos);
  EXPECT_LT(head.size(), kMaxCookiesPerDomain * 4100 + 1000);
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
