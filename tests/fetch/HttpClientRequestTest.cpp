// The request side over the wire: the exact head, the Host rules, the
// request target of each address form, refused addresses and the folding of
// a long cookie line.
#include <gtest/gtest.h>

#include "tests/fetch/ClientFixture.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

class RequestTest : public ClientTest {
 protected:
  RequestTest() {
    RequestSettings& request = client_.Request();
    // Any values do: the window's own are checked by the window's tests.
    request.accept = "*/*";
    request.acceptLanguage = "zh-cn";
    request.contentType = "application/x-www-form-urlencoded";
    request.userAgent = "UA";
  }
};

TEST_F(RequestTest, FirstRequestHeadIsExact) {
  ScriptedServer& server = Serve({{Reply(Ok("x"))}});
  EXPECT_EQ(Fetch(u"http://www.forum.example/publicforum/content/funinfo/1/2273274.shtml"), "x");
  EXPECT_EQ(server.Request(0),
            "GET /publicforum/content/funinfo/1/2273274.shtml HTTP/1.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Host: www.forum.example\r\n"
            "Accept: */*\r\n"
            "Accept-Encoding: identity\r\n"
            "Accept-Language: zh-cn\r\n"
            "User-Agent: UA\r\n"
            "\r\n");
  ASSERT_EQ(dials_.size(), 1u);
  EXPECT_EQ(dials_[0], std::make_pair(std::string("www.forum.example"), uint16_t{80}));
}

struct HostCase {
  const char16_t* url;
  const char* host;
  uint16_t dialledPort;
};

class HostRuleTest : public RequestTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(HostRuleTest, HostValueAndDialledPort) {
  ScriptedServer& server = Serve({{Reply(Ok(""))}});
  Fetch(GetParam().url);
  EXPECT_EQ(HeaderOf(server.Request(0), "Host"), GetParam().host);
  ASSERT_EQ(dials_.size(), 1u);
  EXPECT_EQ(dials_[0].second, GetParam().dialledPort);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, HostRuleTest,
    ::testing::Values(HostCase{u"http://Pages.Forum.example/a", "Pages.Forum.example", 80},
                      HostCase{u"http://h:80/a", "h", 80}, HostCase{u"http://h:81/a", "h:81", 81},
                      HostCase{u"http://h:080/a", "h:080", 80},
                      HostCase{u"http://h:x/a", "h:x", 80}),
    [](const auto& row) { return NumberedCase(row.index, row.param.url); });

struct TargetCase {
  const char16_t* url;
  const char* requestLine;
};

class TargetTest : public RequestTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetTest, RequestLineOnTheWire) {
  ScriptedServer& server = Serve({{Reply(Ok(""))}});
  Fetch(GetParam().url);
  EXPECT_EQ(RequestLine(server.Request(0)), GetParam().requestLine);
  EXPECT_EQ(HeaderOf(server.Request(0), "Host"), "h");
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, TargetTest,
    ::testing::Values(TargetCase{u"http://h/a/b.shtml#p3", "GET /a/b.shtml HTTP/1.1"},
                      TargetCase{u"http://h/a/b.shtml?x=1#p3", "GET /a/b.shtml?x=1#p3 HTTP/1.1"},
                      TargetCase{u"http://h\\a\\b.shtml", "GET /a/b.shtml HTTP/1.1"},
                      TargetCase{u"http://h", "GET / HTTP/1.1"},
                      TargetCase{u"http://h/a/b.shtml?", "GET /a/b.shtml HTTP/1.1"},
                      TargetCase{u"http://u:p@h/a.shtml", "GET /a.shtml HTTP/1.1"},
                      TargetCase{u"http://h/连载/页.shtml",
                                 "GET /?"
                                 "?/?.shtml HTTP/1.1"}),
    [](const auto& row) { return NumberedCase(row.index, row.param.url); });

TEST_F(RequestTest, NoContentLengthAndNoAuthorizationFromUserInformation) {
  ScriptedServer& server = Serve({{Reply(Ok(""))}});
  Fetch(u"http://user:secret@h/a.shtml");
  const std::string head = server.Request(0);
  EXPECT_EQ(head.find("Content-Length"), std::string::npos);
  EXPECT_EQ(head.find("Authorization"), std::string::npos);
  EXPECT_EQ(head.find("secret"), std::string::npos);
  EXPECT_EQ(head.find("Connection"), std::string::npos);
}

TEST_F(RequestTest, BlankBeforeSchemeFailsFirstThenUsesThePreviousPort) {
  ScriptedServer& server = Serve({{Reply(Ok("1")), Reply(Ok("2"))}});
  const std::optional<FetchError> first = FailureOf(u" http://h/a.shtml");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->failure(), FetchFailure::UnrecognisedScheme);
  EXPECT_TRUE(dials_.empty());

  EXPECT_EQ(Fetch(u"http://h:81/b.shtml"), "1");
  EXPECT_EQ(Fetch(u" http://h/c.shtml"), "2");
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_EQ(RequestLine(server.Request(1)), "GET /c.shtml HTTP/1.1");
  EXPECT_EQ(HeaderOf(server.Request(1), "Host"), "h:81");
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST_F(RequestTest, HttpsFailsBeforeAnyConnect) {
  ScriptedServer& server = Serve({});
  const std::optional<FetchError> error = FailureOf(u"https://h/a.shtml");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure(), FetchFailure::NoSecureTransport);
  EXPECT_TRUE(dials_.empty());
  EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST_F(RequestTest, PortOutsideTheRangeFailsBeforeAnyConnect) {
  Serve({});
  for (const char16_t* url : {u"http://h:0/", u"http://h:65536/", u"http://h:-80/"}) {
    const std::optional<FetchError> error = FailureOf(url);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failure(), FetchFailure::InvalidPort);
  }
  EXPECT_TRUE(dials_.empty());
}

TEST_F(RequestTest, ControlCharactersInTheAddressAreNeverSent) {
  ScriptedServer& server = Serve({{Reply(Ok("fine"))}});
  for (const char16_t* url :
       {u"http://h/a\r\nX-Injected: 1\r\n.shtml", u"http://h/a?x=\n", u"http://h\r\nX: y/a.shtml",
        u"http://h/a\x7f.shtml", u"http://h/a\x01.shtml"}) {
    const std::optional<FetchError> error = FailureOf(url);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failure(), FetchFailure::UnsafeRequest);
  }
  EXPECT_TRUE(dials_.empty());
  // The client is still usable and nothing injected ever reached the server.
  EXPECT_EQ(Fetch(u"http://h/ok.shtml"), "fine");
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Request(0).find("X-Injected"), std::string::npos);
}

TEST_F(RequestTest, LongCookieLineIsFoldedOnTheWire) {
  constexpr int kCookies = static_cast<int>(kMaxCookiesPerDomain);
  std::string setCookies;
  std::string expected;
  for (int i = 0; i < kCookies; ++i) {
    const std::string pair = "name" + std::to_string(1000 + i) + "=value-" +
                             std::to_string(i * 7919) + std::string(50, 'v');
    setCookies += "Set-Cookie: " + pair + "\r\n";
    expected += (i > 0 ? "; " : "") + pair;
  }
  ASSERT_GT(expected.size(), 3000u);
  ScriptedServer& server = Serve({{Reply(Ok("", setCookies)), Reply(Ok(""))}});
  Fetch(u"http://www.forum.example/a/1.shtml");
  EXPECT_EQ(server.Request(0).find("Cookie"), std::string::npos);
  Fetch(u"http://www.forum.example/a/2.shtml");
  ASSERT_TRUE(server.WaitForRequests(2));

  const std::string head = server.Request(1);
  const size_t cookieAt = head.find("\r\nCookie: ");
  const size_t end = head.find("\r\nCookie2: ");
  ASSERT_NE(cookieAt, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const size_t start = cookieAt + 2;
  ASSERT_LT(start, end);
  const std::string folded = head.substr(start, end - start);
  // Every line fits the fold width, each continuation starts with one blank,
  // and unfolding gives the list back.
  std::string unfolded;
  size_t lines = 0;
  for (size_t at = 0; at <= folded.size(); ++lines) {
    size_t next = folded.find("\r\n", at);
    if (next == std::string::npos) next = folded.size();
    const std::string line = folded.substr(at, next - at);
    EXPECT_LE(line.size(), 1025u);
    if (lines > 0) {
      EXPECT_EQ(line[0], ' ');
      EXPECT_NE(line[1], ' ');
    } else {
      EXPECT_LE(line.size(), 1024u);
    }
    unfolded += line;
    at = next + 2;
  }
  EXPECT_GE(lines, 3u);
  EXPECT_EQ(unfolded, "Cookie: " + expected);
  EXPECT_EQ(HeaderOf(head, "Cookie2"), "$Version=\"1\"");
}

TEST_F(RequestTest, CookieLineOf1025CharactersGoesOutWhole) {
  // "Cookie: " (8) + "k=" (2) + value: 1025 characters in all, with blanks to break at.
  std::string value;
  while (value.size() < 1015) value += value.size() % 10 == 9 ? ',' : 'v';
  ScriptedServer& server =
      Serve({{Reply(Ok("", "Set-Cookie: k=" + value + "\r\n")), Reply(Ok(""))}});
  Fetch(u"http://www.forum.example/a.shtml");
  Fetch(u"http://www.forum.example/b.shtml");
  ASSERT_TRUE(server.WaitForRequests(2));
  const std::optional<std::string> cookie = HeaderOf(server.Request(1), "Cookie");
  ASSERT_TRUE(cookie);
  EXPECT_EQ(("Cookie: " + *cookie).size(), 1025u);
  EXPECT_EQ(*cookie, "k=" + value);
}

}  // namespace
}  // namespace velbrook::testing
