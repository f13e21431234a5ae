// The forum's reading of request heads, including the ones no client should send.
#include <gtest/gtest.h>

#include "forum/RequestHead.h"

namespace velbrook {
namespace {

struct LengthCase {
  const char* buffer;
  std::size_t length;
};

TEST(RequestHeadLength, FindsTheBlankLineInEitherSpelling) {
  const LengthCase cases[] = {
      {"", 0},
      {"GET / HTTP/1.1\r\n", 0},
      {"GET / HTTP/1.1\r\nHost: a\r\n", 0},
      {"GET / HTTP/1.1\r\n\r\n", 18},
      {"GET / HTTP/1.1\n\n", 16},
      {"GET / HTTP/1.1\r\nA: b\r\n\r\nGET", 24},
      {"GET / HTTP/1.1\r\n\r", 0},
  };
  for (const LengthCase& c : cases) EXPECT_EQ(RequestHeadLength(c.buffer), c.length) << c.buffer;
}

TEST(ParseRequestHead, ReadsTheRequestLineAndHeaders) {
  const auto head = ParseRequestHead(
      "GET /a/b.shtml?x=1 HTTP/1.1\r\nHost: www.forum.example\r\nCookie: k=v\r\n\r\n");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->method, "GET");
  EXPECT_EQ(head->target, "/a/b.shtml?x=1");
  EXPECT_EQ(head->Path(), "/a/b.shtml");
  EXPECT_EQ(head->version, "HTTP/1.1");
  ASSERT_EQ(head->headerLines.size(), 2u);
  EXPECT_EQ(head->Field("host"), "www.forum.example");
  EXPECT_FALSE(head->Field("Accept"));
}

TEST(ParseRequestHead, JoinsFoldedLines) {
  const auto head = ParseRequestHead("GET / HTTP/1.1\r\nCookie: a=1;\r\n b=2;\r\n\tc=3\r\n\r\n");
  ASSERT_TRUE(head);
  ASSERT_EQ(head->headerLines.size(), 1u);
  EXPECT_EQ(head->Field("Cookie"), "a=1; b=2; c=3");
  EXPECT_EQ(head->Cookie("c"), "3");
}

TEST(ParseRequestHead, RefusesMalformedHeads) {
  const char* bad[] = {
      "\r\n",
      "GET\r\n\r\n",
      "GET /\r\n\r\n",
      "GET / FTP/1.0\r\n\r\n",
      "GET  HTTP/1.1\r\n\r\n",
      "GET /a b HTTP/1.1\r\n\r\n",
      "GET /\x7f HTTP/1.1\r\n\r\n",
      "G:T / HTTP/1.1\r\n\r\n",
      "GET / HTTP/1.1\r\n folded first\r\n\r\n",
      "GET / HTTP/1.1\r\nno colon\r\n\r\n",
      "GET / HTTP/1.1\r\n: no name\r\n\r\n",
  };
  for (const char* head : bad) EXPECT_FALSE(ParseRequestHead(head)) << head;
}

TEST(ParseRequestHead, BoundsTheNumberOfHeaderLines) {
  std::string head = "GET / HTTP/1.1\r\n";
  for (std::size_t i = 0; i < kMaxRequestHeaderLines; ++i) head += "X: y\r\n";
  EXPECT_TRUE(ParseRequestHead(head + "\r\n"));
  EXPECT_FALSE(ParseRequestHead(head + "X: y\r\n\r\n"));
}

struct KeepAliveCase {
  const char* head;
  bool keepAlive;
};

TEST(RequestHeadKeepAlive, FollowsTheVersionAndTheConnectionField) {
  const KeepAliveCase cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", true},
      {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nconnection:   Close  \r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\n\r\n", false},
      {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\nConnection: TE,keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\nConnection: keep-alive-ish\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: keep-alive, close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: TE\r\nConnection: close\r\n\r\n", false},
  };
  for (const KeepAliveCase& c : cases) {
    const auto head = ParseRequestHead(c.head);
    ASSERT_TRUE(head) << c.head;
    EXPECT_EQ(head->KeepAlive(), c.keepAlive) << c.head;
  }
}

struct TargetCase {
  const char* target;
  const char* path;
  bool mayName;  // a page of www.forum.example listening on port 8000
};

TEST(RequestHeadTarget, TakesThePathAndTheHostOfEitherForm) {
  const TargetCase cases[] = {
      {"/a.shtml?x=1", "/a.shtml", true},
      {"http://www.forum.example/a.shtml?x=1", "/a.shtml", true},
      {"HTTP://WWW.FORUM.EXAMPLE:80/a", "/a", true},
      {"http://www.forum.example:8000/a", "/a", true},
      {"http://www.forum.example:/a", "/a", true},
      {"http://www.forum.example?x=1", "/", true},
      {"http://www.forum.example:8080/a", "/a", false},
      {"http://forum.example/a", "/a", false},
      {"http://www.forum.example@evil.example/a", "/a", false},
      {"https://www.forum.example/a", "/a", false},
      {"http:///a", "/a", false},
  };
  for (const TargetCase& c : cases) {
    const auto head = ParseRequestHead(std::string("GET ") + c.target + " HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(head) << c.target;
    EXPECT_EQ(head->Path(), c.path) << c.target;
    EXPECT_EQ(head->TargetMayName("www.forum.example", 8000), c.mayName) << c.target;
  }
}

TEST(RequestHeadHost, IsRequiredOnceBeyondHttp10) {
  const struct {
    const char* head;
    bool wellGiven;
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", true},
      {"GET / HTTP/1.1\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nHost: a\r\nhost: a\r\n\r\n", false},
      {"GET / HTTP/1.0\r\n\r\n", true},
  };
  for (const auto& c : cases) {
    const auto head = ParseRequestHead(c.head);
    ASSERT_TRUE(head) << c.head;
    EXPECT_EQ(head->HostWellGiven(), c.wellGiven) << c.head;
  }
}

TEST(RequestLineTooLong, CountsTheLineWithoutItsEnding) {
  const std::string limit(kMaxRequestLineBytes, 'a');
  const struct {
    std::string buffer;
    bool tooLong;
  } cases[] = {
      {limit + "\r\nHost: " + limit, false},
      {limit + "\n", false},
      {limit, false},
      {limit + "\r", false},
      {limit + "a\r\n", true},
      {limit + "a", true},
  };
  for (const auto& c : cases) EXPECT_EQ(RequestLineTooLong(c.buffer), c.tooLong) << c.buffer.size();
}

struct CookieCase {
  const char* header;
  const char* name;
  std::optional<std::string> value;
};

TEST(RequestHeadCookie, PicksTheNamedPair) {
  const CookieCase cases[] = {
      {"Cookie: vbsid=abc", "vbsid", "abc"},
      {"Cookie: a=1; vbsid=abc; b=2", "vbsid", "abc"},
      {"Cookie: xvbsid=abc", "vbsid", std::nullopt},
      {"Cookie: vbsid", "vbsid", std::nullopt},
      {"Cookie: vbsid=", "vbsid", ""},
      {"X-Other: vbsid=abc", "vbsid", std::nullopt},
  };
  for (const CookieCase& c : cases) {
    const auto head = ParseRequestHead(std::string("GET / HTTP/1.1\r\n") + c.header + "\r\n\r\n");
    ASSERT_TRUE(head) << c.header;
    EXPECT_EQ(head->Cookie(c.name), c.value) << c.header;
  }
}

}  // namespace
}  // namespace velbrook
