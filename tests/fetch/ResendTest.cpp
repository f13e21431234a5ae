// A GET that a kept-alive connection loses unanswered (the server closed or
// reset it just as the request went out) goes once more on a new
// connection; a fresh connection that fails, or a response that has begun,
// is never answered by a resend.
#include <gtest/gtest.h>

#include "tests/fetch/ClientFixture.h"
#include "tests/support/CaseName.h"

namespace velbrook::testing {
namespace {

constexpr const char16_t* kPage = u"http://www.forum.example/p/1.shtml";
constexpr const char16_t* kNextPage = u"http://www.forum.example/p/2.shtml";

struct LostCase {
  const char* name;
  Step::Then then;
};

class LostRequestTest : public ClientTest, public ::testing::WithParamInterface<LostCase> {};

TEST_P(LostRequestTest, ReusedConnectionLostAtTheNextRequestResendsItOnceOnANewOne) {
  // The session cookie of the first answer is selected again for the resend.
  ScriptedServer& server =
      Serve({{Reply(Ok("first", "Set-Cookie: sid=7\r\n")), Step{"", GetParam().then}},
             {Reply(Ok("second"))}});
  EXPECT_EQ(Fetch(kPage), "first");
  EXPECT_EQ(Fetch(kNextPage), "second");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
  ASSERT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.Requests()[2].connection, 1);
  EXPECT_EQ(server.Request(2), server.Request(1));
  EXPECT_EQ(HeaderOf(server.Request(2), "Cookie"), "sid=7");
}

TEST_P(LostRequestTest, FreshConnectionLostAtOnceFailsWithoutAResend) {
  ScriptedServer& server = Serve({{Step{"", GetParam().then}}, {Reply(Ok("never"))}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), GetParam().then == Step::Then::Close ? FetchFailure::ConnectionClosed
                                                                   : FetchFailure::SocketError);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
  EXPECT_FALSE(client_.HasConnection());
}

TEST_P(LostRequestTest, ResendLostAgainFails) {
  ScriptedServer& server = Serve({{Reply(Ok("first")), Step{"", GetParam().then}},
                                  {Step{"", GetParam().then}},
                                  {Reply(Ok("never"))}});
  Fetch(kPage);
  EXPECT_TRUE(FailureOf(kNextPage));
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

INSTANTIATE_TEST_SUITE_P(Losses, LostRequestTest,
                         ::testing::Values(LostCase{"Closed", Step::Then::Close},
                                           LostCase{"Reset", Step::Then::Reset}),
                         RowName());

struct BegunCase {
  const char* name;
  std::string cut;                      // what the reused connection sends before it closes
  std::optional<FetchFailure> failure;  // nothing: the fetch succeeds with an empty page
};

class BegunResponseTest : public ClientTest, public ::testing::WithParamInterface<BegunCase> {};

TEST_P(BegunResponseTest, ResponseCutAfterItBeganIsNeverResent) {
  ScriptedServer& server =
      Serve({{Reply(Ok("first")), ReplyAndClose(GetParam().cut)}, {Reply(Ok("never"))}});
  Fetch(kPage);
  if (GetParam().failure) {
    const std::optional<FetchError> error = FailureOf(kNextPage);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failure(), *GetParam().failure) << error->what();
  } else {
    EXPECT_EQ(Fetch(kNextPage), "");
  }
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, BegunResponseTest,
    ::testing::Values(
        BegunCase{"AfterTheStatusLine", "HTTP/1.1 200 OK\r\n", std::nullopt},
        BegunCase{"WithinTheStatusLine", "HTTP/1.1 2", FetchFailure::ConnectionClosed},
        BegunCase{"BeforeTheFirstChunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                  FetchFailure::ConnectionClosed}),
    RowName());

}  // namespace
}  // namespace velbrook::testing
