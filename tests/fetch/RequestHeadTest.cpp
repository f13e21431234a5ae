#include "fetch/RequestHead.h"

#include <gtest/gtest.h>

#include "fetch/FetchError.h"

namespace velbrook {
namespace {

// A cookie list of count cookies "cNNN=vvvv" joined by "; ".
std::string CookieList(int count) {
  std::vector<std::pair<std::string, std::string>> cookies;
  for (int i = 0; i < count; ++i)
    cookies.emplace_back("c" + std::to_string(100 + i), "value" + std::to_string(i));
  return JoinCookies(cookies);
}

TEST(FoldHeaderLine, LinesUpTo1025StayWhole) {
  for (size_t length : {size_t{10}, size_t{1024}, size_t{1025}}) {
    std::string line = "Cookie: ";
    while (line.size() < length) line += (line.size() % 7 == 0) ? ' ' : 'x';
    ASSERT_EQ(line.size(), length);
    const std::vector<std::string> pieces = FoldHeaderLine(line);
    ASSERT_EQ(pieces.size(), 1u) << length;
    EXPECT_EQ(pieces[0], line);
  }
}

TEST(FoldHeaderLine, A1026LineIsFoldedAtItsLastBreak) {
  std::string line = "X: " + std::string(1000, 'a') + " " + std::string(1022, 'b');
  line.resize(1026);
  const std::vector<std::string> pieces = FoldHeaderLine(line);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "X: " + std::string(1000, 'a'));
  EXPECT_EQ(pieces[1], " " + line.substr(1004));
}

TEST(FoldHeaderLine, LongCookieLineBecomesSeveralLines) {
  const std::string line = "Cookie: " + CookieList(400);
  ASSERT_GT(line.size(), 4000u);
  const std::vector<std::string> pieces = FoldHeaderLine(line);
  ASSERT_GE(pieces.size(), 4u);
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(pieces[i].size(), i + 1 < pieces.size() ? kFoldWidth : kUnfoldedLineLimit) << i;
    EXPECT_NE(pieces[i].back(), ' ') << i;
    if (i > 0) {
      ASSERT_EQ(pieces[i].substr(0, 1), " ") << i;
      EXPECT_NE(pieces[i][1], ' ') << i;
    }
    joined += pieces[i];
  }
  // Unfolding (each break stood at one blank) gives the line back.
  EXPECT_EQ(joined, line);
}

TEST(FoldHeaderLine, NoBreakInsideQuotesOrAtThePieceStart) {
  // The only blanks lie inside double quotes: nothing to break at.
  const std::string quoted = "X:\"" + std::string(600, 'a') + " " + std::string(600, 'b') + "\"";
  EXPECT_EQ(FoldHeaderLine(quoted).size(), 1u);
  // A line without any break character is never broken.
  const std::string solid = "X: " + std::string(3000, 'z');
  EXPECT_EQ(FoldHeaderLine(std::string("X:") + std::string(3000, 'z')).size(), 1u);
  EXPECT_EQ(FoldHeaderLine(solid).size(), 2u);  // only the blank after "X:" breaks it
}

TEST(FoldHeaderLine, WithoutAnEarlierBreakTheNextOneEndsThePiece) {
  const std::string line = "X:" + std::string(1500, 'a') + "," + std::string(10, 'b');
  const std::vector<std::string> pieces = FoldHeaderLine(line);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "X:" + std::string(1500, 'a') + ",");
  EXPECT_EQ(pieces[1], " " + std::string(10, 'b'));
}

TEST(ControlCharacters, EveryControlCharacterCounts) {
  for (int c = 0; c < 0x20; ++c) EXPECT_TRUE(IsUnsafeInHead(std::string("a") + char(c) + "b")) << c;
  EXPECT_TRUE(IsUnsafeInHead("\x7f"));
  EXPECT_FALSE(IsUnsafeInHead("/a b?c=\"d\"~"));
}

RequestSettings PageSettings() {
  RequestSettings settings;
  settings.accept = "*/*";
  settings.acceptLanguage = "zh-cn";
  settings.contentType = "application/x-www-form-urlencoded";
  settings.userAgent = "UA";
  return settings;
}

TEST(BuildRequestHead, FixedOrderAndEmptyValuesLeftOut) {
  RequestSettings settings = PageSettings();
  settings.acceptLanguage.clear();
  EXPECT_EQ(BuildRequestHead("/a", "h", settings, ""),
            "GET /a HTTP/1.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Host: h\r\n"
            "Accept: */*\r\n"
            "Accept-Encoding: identity\r\n"
            "User-Agent: UA\r\n"
            "\r\n");
  EXPECT_EQ(BuildRequestHead("/", "h:81", PageSettings(), "a=1; b=2"),
            "GET / HTTP/1.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Host: h:81\r\n"
            "Accept: */*\r\n"
            "Accept-Encoding: identity\r\n"
            "Accept-Language: zh-cn\r\n"
            "User-Agent: UA\r\n"
            "Cookie: a=1; b=2\r\n"
            "Cookie2: $Version=\"1\"\r\n"
            "\r\n");
}

TEST(BuildRequestHead, ControlCharactersAreRefused) {
  struct Case {
    std::string target, host, cookie;
  } cases[] = {{"/a\r\nX-Evil: 1", "h", ""},
               {"/a", "h\nX: y", ""},
               {"/a\x01", "h", ""},
               {"/a", "h", "a=1\r\nX: y"},
               {"/a", "h", std::string("a=\0", 3)}};
  for (const Case& c : cases) {
    try {
      BuildRequestHead(c.target, c.host, PageSettings(), c.cookie);
      ADD_FAILURE() << "sent " << c.target;
    } catch (const FetchError& error) {
      EXPECT_EQ(error.failure(), FetchFailure::UnsafeRequest);
    }
  }
  RequestSettings settings = PageSettings();
  settings.userAgent = "UA\r\nX: y";
  EXPECT_THROW(BuildRequestHead("/", "h", settings, ""), FetchError);
}

}  // namespace
}  // namespace velbrook
