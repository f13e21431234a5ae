// The response side over the wire: body framing, the status decision,
// interim responses, cookies of every response, line limits and the
// failures of a broken response.
#include <gtest/gtest.h>

#include <cerrno>

#include "fetch/HeaderFields.h"
#include "fetch/ResponseReader.h"
#include "tests/fetch/ClientFixture.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

constexpr const char16_t* kPage = u"http://www.forum.example/p/1.shtml";

struct FramingCase {
  const char* name;
  std::string response;  // followed by Close unless keepOpen
  std::string body;
};

class FramingTest : public ClientTest, public ::testing::WithParamInterface<FramingCase> {};

TEST_P(FramingTest, BodyIsFramedByTheHeaders) {
  Serve({{ReplyAndClose(GetParam().response)}});
  EXPECT_EQ(Fetch(kPage), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FramingTest,
    ::testing::Values(
        FramingCase{"Chunked",
                    HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                 "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"),
                    "hello world"},
        FramingCase{"ChunkedAnyCaseInAList",
                    HttpResponse("HTTP/1.1 200 OK",
                                 "Transfer-Encoding: gzip, ChUnKeD\r\nContent-Length: 3\r\n",
                                 "2\r\nab\r\n0\r\n\r\n"),
                    "ab"},
        FramingCase{"HexSize1a",
                    HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                 "1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"),
                    "abcdefghijklmnopqrstuvwxyz"},
        FramingCase{"SizeWithExtensionAfterABlank",
                    HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                 "3 ext=1\r\nabc\r\n0\r\n\r\n"),
                    "abc"},
        FramingCase{"SizeWithSemicolonIsNoNumber",
                    HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                 "1a;ext\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"),
                    ""},
        // Past 64 bits the size is no number, however few units its wrap would leave.
        FramingCase{"ChunkSizePast64BitsIsNoNumber",
                    HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                 "8000000000000000A\r\n0123456789\r\n0\r\n\r\n"),
                    ""},
        FramingCase{"KnownLengthClosedEarly",
                    HttpResponse("HTTP/1.1 200 OK", "Content-Length: 10\r\n", "abcdef"), "abcdef"},
        FramingCase{"KnownLengthStopsThere",
                    HttpResponse("HTTP/1.1 200 OK", "Content-Length: 3\r\n", "abcdef"), "abc"},
        FramingCase{"UntilClose", HttpResponse("HTTP/1.1 200 OK", "", "all of it\r\nuntil close"),
                    "all of it\r\nuntil close"},
        FramingCase{"NegativeLengthIsUntilClose",
                    HttpResponse("HTTP/1.1 200 OK", "Content-Length: -4\r\n", "whole"), "whole"},
        FramingCase{
            "LengthPastTheLargestNumberIsUntilClose",
            HttpResponse("HTTP/1.1 200 OK", "Content-Length: 9223372036854775808\r\n", "five!"),
            "five!"},
        FramingCase{"ZeroLength",
                    HttpResponse("HTTP/1.1 200 OK", "Content-Length: 0\r\n", "ignored"), ""},
        FramingCase{
            "LengthAtThePageBoundCutByAClose",
            HttpResponse("HTTP/1.1 200 OK",
                         "Content-Length: " + std::to_string(kMaxBodyBytes) + "\r\n", "small"),
            "small"},
        FramingCase{"LineFeedsOnly", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok"},
        FramingCase{
            "GzipIsNotUndone",
            HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\nContent-Length: 10\r\n",
                         std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10)),
            std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10)}),
    RowName());

TEST_F(ClientTest, LineFeedOnlyResponsesKeepTheConnectionInStep) {
  const std::string page(1234, 'p');
  ScriptedServer& server =
      Serve({{Reply("HTTP/1.1 200 OK\nContent-Length: 1234\n\n" + page),
              Reply("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n"),
              Reply(Ok("third"))}});
  client_.SetReadTimeout(5000);  // a framing slip waits for more, not the suite
  EXPECT_EQ(Fetch(kPage), page);
  EXPECT_EQ(Fetch(kPage), "abc");
  EXPECT_EQ(Fetch(kPage), "third");
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST_F(ClientTest, BodyBytesAreKeptExactlyAndDecodedAsCodePage936) {
  const std::string page = "\xEF\xBB\xBF" + EncodeCp936(u"山间小楼 连载");
  Serve({{Reply(Ok(page, "Content-Type: text/html; charset=utf-8\r\n"))}});
  const std::string body = Fetch(kPage);
  EXPECT_EQ(body, page);
  // The byte-order mark stays: its first two bytes read as one code page 936 character.
  const Text text = DecodeCp936(body);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text[0], u'\u9518');
}

struct StatusCase {
  const char* name;
  std::string response;
  int code;  // 0: the fetch succeeds
  std::string body;
  const char* message = "";  // of the failure
};

class StatusTest : public ClientTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTest, DecisionAndOneRequestOnly) {
  ScriptedServer& server = Serve({{Reply(GetParam().response)}});
  if (GetParam().code == 0) {
    EXPECT_EQ(Fetch(kPage), GetParam().body);
  } else {
    const std::optional<FetchError> error = FailureOf(kPage);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failure(), FetchFailure::ProtocolError);
    EXPECT_EQ(error->code(), GetParam().code);
    EXPECT_STREQ(error->what(), GetParam().message);
  }
  // No redirect target, no second try: the server saw exactly one request.
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, StatusTest,
    ::testing::Values(
        StatusCase{"MovedPermanently",
                   HttpResponse("HTTP/1.1 301 Moved",
                                "Location: http://elsewhere/\r\nContent-Length: 3\r\n", "abc"),
                   301, "", "status 301"},
        StatusCase{"Found",
                   HttpResponse("HTTP/1.1 302 Found", "Location: /x\r\nContent-Length: 0\r\n", ""),
                   302, "", "status 302"},
        StatusCase{"OkWithLocation", Ok("page", "Location: /x\r\n"), 200, "", "status 200"},
        StatusCase{
            "CreatedWithLocation",
            HttpResponse("HTTP/1.1 201 Created", "Location: /x\r\nContent-Length: 4\r\n", "page"),
            0, "page"},
        StatusCase{"NoContent", HttpResponse("HTTP/1.1 204 No Content", "", ""), 0, ""},
        StatusCase{"NotModified", HttpResponse("HTTP/1.1 304 Not Modified", "", ""), 304, "",
                   "status 304"},
        StatusCase{"SwitchingProtocols", HttpResponse("HTTP/1.1 101 Switching", "", ""), 101, "",
                   "status 101"},
        StatusCase{
            "UnauthorizedBasic",
            HttpResponse("HTTP/1.1 401 Unauthorized",
                         "WWW-Authenticate: Basic realm=\"f\"\r\nContent-Length: 5\r\n", "denied"),
            401, "", "status 401 (Basic challenge, no credentials)"},
        StatusCase{"ProxyAuthentication",
                   HttpResponse("HTTP/1.1 407 Proxy",
                                "Proxy-Authenticate: NTLM\r\nContent-Length: 0\r\n", ""),
                   407, "", "status 407 (NTLM challenge, no credentials)"},
        StatusCase{"UnauthorizedUnsupported",
                   HttpResponse("HTTP/1.1 401 Unauthorized",
                                "WWW-Authenticate: Negotiate\r\nContent-Length: 0\r\n", ""),
                   401, "", "status 401 (no supported challenge)"},
        StatusCase{"NotFound",
                   HttpResponse("HTTP/1.1 404 Not Found", "Transfer-Encoding: chunked\r\n",
                                "4\r\n<h1>\r\n0\r\n\r\n"),
                   404, "", "status 404"},
        StatusCase{"ServerError", HttpResponse("HTTP/1.1 500 Oops", "Content-Length: 2\r\n", "no"),
                   500, "", "status 500"},
        StatusCase{"Accepted", HttpResponse("HTTP/1.0 202 Accepted", "Content-Length: 2\r\n", "ok"),
                   0, "ok"},
        StatusCase{"LastOfTheSuccesses",
                   HttpResponse("HTTP/1.1 299 Unusual", "Content-Length: 2\r\n", "ok"), 0, "ok"},
        StatusCase{"NoNumber", HttpResponse("HTTP/1.1 OK", "Content-Length: 0\r\n", ""), -1, "",
                   "status -1"}),
    RowName());

TEST_F(ClientTest, FailingBodyIsDrainedAndTheConnectionServesTheNextRequest) {
  const std::string notFound =
      HttpResponse("HTTP/1.1 404 Not Found", "Content-Length: 22\r\n", "<html>not here</html>\n");
  ScriptedServer& server = Serve({{Reply(notFound), Reply(Ok("found"))}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 404);
  EXPECT_TRUE(client_.HasConnection());
  EXPECT_EQ(Fetch(kPage), "found");
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST_F(ClientTest, NotModifiedAndNoContentKeepTheConnection) {
  ScriptedServer& server =
      Serve({{Reply(HttpResponse("HTTP/1.1 304 Not Modified", "", "")),
              Reply(HttpResponse("HTTP/1.1 204 No Content", "", "")), Reply(Ok("third"))}});
  EXPECT_EQ(FailureOf(kPage)->code(), 304);
  EXPECT_EQ(Fetch(kPage), "");
  EXPECT_EQ(Fetch(kPage), "third");
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST_F(ClientTest, ContinueThenOkStoresTheCookiesOfBoth) {
  const std::string answer = HttpResponse("HTTP/1.1 100 Continue", "Set-Cookie: early=1\r\n", "") +
                             Ok("final", "Set-Cookie: late=2\r\n");
  ScriptedServer& server = Serve({{Reply(answer), Reply(Ok(""))}});
  EXPECT_EQ(client_.Cookies(), nullptr);
  EXPECT_EQ(Fetch(kPage), "final");
  EXPECT_EQ(client_.LastResponse().statusCode, 200);
  ASSERT_NE(client_.Cookies(), nullptr);
  Fetch(kPage);
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_EQ(HeaderOf(server.Request(1), "Cookie"), "early=1; late=2");
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ClientTest, CookiesOfFailingResponsesAreStoredToo) {
  ScriptedServer& server = Serve(
      {{Reply(HttpResponse("HTTP/1.1 302 Found",
                           "Location: /x\r\nSet-Cookie: s=r\r\nContent-Length: 0\r\n", "")),
        Reply(HttpResponse("HTTP/1.1 404 No", "Set-Cookie: t=n\r\nContent-Length: 0\r\n", "")),
        Reply(Ok(""))}});
  EXPECT_EQ(FailureOf(kPage)->code(), 302);
  EXPECT_EQ(FailureOf(kPage)->code(), 404);
  Fetch(kPage);
  ASSERT_TRUE(server.WaitForRequests(3));
  EXPECT_EQ(HeaderOf(server.Request(1), "Cookie"), "s=r");
  EXPECT_EQ(HeaderOf(server.Request(2), "Cookie"), "s=r; t=n");
}

TEST_F(ClientTest, BadCookiePortListFailsTheFetchAndDropsTheConnection) {
  Serve({{Reply(Ok("page", "Set-Cookie2: a=1; Version=1; Port=\"80,x\"\r\n"))}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::CookiePortList);
  EXPECT_FALSE(client_.HasConnection());
}

TEST_F(ClientTest, NoMatchingCookieSendsNeitherCookieHeader) {
  ScriptedServer& server =
      Serve({{Reply(Ok("", "Set-Cookie: a=1; path=/other/\r\n")), Reply(Ok(""))}});
  Fetch(u"http://www.forum.example/other/x.shtml");
  Fetch(u"http://www.forum.example/p/y.shtml");
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_FALSE(HeaderOf(server.Request(1), "Cookie"));
  EXPECT_FALSE(HeaderOf(server.Request(1), "Cookie2"));
}

std::string LineOf(size_t bytesBeforeFeed) {
  std::string line = "X-Pad: ";
  line.resize(bytesBeforeFeed - 1, 'p');
  return line + "\r\n";  // the CR counts among the bytes before the line feed
}

TEST_F(ClientTest, HeaderLineOf16384BytesIsReadAnd16385Fails) {
  ScriptedServer& server = Serve(
      {{Reply(HttpResponse("HTTP/1.1 200 OK", LineOf(16384) + "Content-Length: 2\r\n", "ok"))},
       {ReplyAndClose(HttpResponse("HTTP/1.1 200 OK", LineOf(16385), "ok"))}});
  EXPECT_EQ(Fetch(kPage), "ok");
  EXPECT_EQ(client_.LastResponse().headerLines[0].size(), 16383u);
  const std::optional<FetchError> error = FailureOf(u"http://other.example/");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::LineTooLong);
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST_F(ClientTest, StatusLineOf16385BytesFails) {
  std::string status = "HTTP/1.1 200 ";
  status.resize(16384, 'O');  // + CR = 16385 before the line feed
  Serve({{StallAfter(status + "\r\n\r\n")}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::LineTooLong);
  EXPECT_FALSE(client_.HasConnection());
}

TEST_F(ClientTest, HeaderLinesPast255AreDroppedButKeepTheStreamInStep) {
  std::string headers = "Content-Length: 5\r\n";
  for (int i = 1; i < 255; ++i) headers += "X-" + std::to_string(i) + ": v\r\n";
  headers += "Connection: close\r\nX-More: 1\r\n";  // lines 256 and 257
  ScriptedServer& server =
      Serve({{Reply(HttpResponse("HTTP/1.1 200 OK", headers, "first")), Reply(Ok("second"))}});
  EXPECT_EQ(Fetch(kPage), "first");
  EXPECT_EQ(client_.LastResponse().headerLines.size(), 255u);
  EXPECT_EQ(client_.LastResponse().connection, "");
  EXPECT_EQ(Fetch(kPage), "second");
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST_F(ClientTest, HeaderFieldsOfTheRecord) {
  Serve({{Reply(
      HttpResponse("HTTP/1.1 200 OK",
                   "Content-Length: 1\r\nWWW-Authenticate: Basic\r\nwww-authenticate: Digest x\r\n"
                   "Proxy-Connection: keep-alive\r\nConnection: Keep-Alive,\r\n  more\r\n",
                   "x"))}});
  Fetch(kPage);
  const Response& last = client_.LastResponse();
  EXPECT_EQ(last.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(last.contentLength, 1);
  EXPECT_EQ(last.connection, "Keep-Alive, more");
  EXPECT_EQ(last.proxyConnection, "keep-alive");
  EXPECT_EQ(last.serverChallenges, (std::vector<std::string>{"Basic", "Digest x"}));
}

struct BrokenCase {
  const char* name;
  Step step;
  velbrook::FetchFailure failure;
};

class BrokenResponseTest : public ClientTest, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenResponseTest, FailsAndDropsTheConnection) {
  ScriptedServer& server = Serve({{GetParam().step}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), GetParam().failure);
  EXPECT_FALSE(client_.HasConnection());
  if (GetParam().step.then != Step::Then::Reset) {
    EXPECT_TRUE(server.WaitForClientClose(0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, BrokenResponseTest,
    ::testing::Values(
        BrokenCase{"ClosedBeforeStatusLine", ReplyAndClose(""), FetchFailure::ConnectionClosed},
        BrokenCase{"ClosedWithinStatusLine", ReplyAndClose("HTTP/1.1 2"),
                   FetchFailure::ConnectionClosed},
        BrokenCase{"ClosedWithinChunk",
                   ReplyAndClose(HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                              "a\r\nabc")),
                   FetchFailure::ConnectionClosed},
        BrokenCase{"ClosedWithinSizeLine",
                   ReplyAndClose(HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                              "3\r\nabc\r\n")),
                   FetchFailure::ConnectionClosed},
        BrokenCase{"ClosedBeforeTheLastLine",
                   ReplyAndClose(HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                                              "0\r\n")),
                   FetchFailure::ConnectionClosed},
        BrokenCase{"ResetByPeer", ReplyAndReset(""), FetchFailure::SocketError}),
    RowName());

TEST_F(ClientTest, HeaderBlockCutByTheCloseStandsAsRead) {
  Serve({{ReplyAndClose("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX-Cut: yes")}});
  EXPECT_EQ(Fetch(kPage), "");
  EXPECT_EQ(client_.LastResponse().headerLines.size(), 2u);
  EXPECT_FALSE(client_.HasConnection());
}

TEST_F(ClientTest, ResetCarriesTheErrorCode) {
  Serve({{ReplyAndReset("")}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), ECONNRESET);
}

TEST_F(ClientTest, ReadTimeOutEndsAWaitThatNothingAnswers) {
  // Neither length nor chunks, and the peer keeps the connection open after the body.
  ScriptedServer& server = Serve({{StallAfter(HttpResponse("HTTP/1.1 200 OK", "", "partial"))}});
  client_.SetReadTimeout(200);
  EXPECT_EQ(client_.ReadTimeout(), 200);
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::ReadTimeout);
  EXPECT_FALSE(client_.HasConnection());
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(ClientTest, EndlessInterimResponsesFail) {
  std::string interims;
  for (int i = 0; i < 100; ++i) interims += "HTTP/1.1 100 Continue\r\n\r\n";
  Serve({{StallAfter(interims + Ok("never"))}});
  const std::optional<FetchError> error = FailureOf(kPage);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::ProtocolError);
  EXPECT_EQ(error->code(), 100);
}

}  // namespace
}  // namespace velbrook::testing
