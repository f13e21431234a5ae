#include "fetch/Address.h"

#include <gtest/gtest.h>

#include "fetch/FetchError.h"
#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

struct ParseCase {
  const char16_t* address;
  const char16_t* scheme;
  const char16_t* host;
  const char16_t* port;
  const char16_t* path;
  const char16_t* document;
  const char16_t* query;
};

class ParseAddressTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseAddressTest, SplitsIntoParts) {
  const ParseCase& c = GetParam();
  const Address parts = ParseAddress(testing::ExactView(c.address));
  EXPECT_EQ(ToUtf8(parts.scheme), ToUtf8(c.scheme));
  EXPECT_EQ(ToUtf8(parts.host), ToUtf8(c.host));
  EXPECT_EQ(ToUtf8(parts.port), ToUtf8(c.port));
  EXPECT_EQ(ToUtf8(parts.directoryPath), ToUtf8(c.path));
  EXPECT_EQ(ToUtf8(parts.document), ToUtf8(c.document));
  EXPECT_EQ(ToUtf8(parts.query), ToUtf8(c.query));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, ParseAddressTest,
    ::testing::Values(
        ParseCase{u"http://h/a/b.shtml", u"http", u"h", u"", u"/a/", u"b.shtml", u""},
        ParseCase{u"http://h/a/b.shtml#p3", u"http", u"h", u"", u"/a/", u"b.shtml", u""},
        ParseCase{u"http://h/a/b.shtml?x=1#p3", u"http", u"h", u"", u"/a/", u"b.shtml", u"x=1#p3"},
        ParseCase{u"http://h\\a\\b.shtml", u"http", u"h", u"", u"/a/", u"b.shtml", u""},
        ParseCase{u"http://h", u"http", u"h", u"", u"/", u"", u""},
        ParseCase{u"http://h/a/b.shtml?", u"http", u"h", u"", u"/a/", u"b.shtml", u""},
        ParseCase{u"http://h:81/x.shtml", u"http", u"h", u"81", u"/", u"x.shtml", u""},
        ParseCase{u"HTTP://user:pw@H:080/d/", u"HTTP", u"H", u"080", u"/d/", u"", u""},
        ParseCase{u" http://h/p", u" http", u"h", u"", u"/", u"p", u""},
        ParseCase{u"http://h/a#b/c.shtml", u"http", u"h", u"", u"/a#b/", u"c.shtml", u""},
        ParseCase{u"http://h/q?a/b?c", u"http", u"h", u"", u"/", u"q", u"a/b?c"},
        ParseCase{u"http://h?x", u"http", u"h", u"", u"/", u"", u"x"}),
    [](const auto& row) { return testing::NumberedCase(row.index, row.param.address); });

TEST(ParseAddress, CutsUserInformationFromTheAuthority) {
  const Address parts = ParseAddress(u"http://name:secret:more@host:81/");
  EXPECT_EQ(ToUtf8(parts.userName), "name");
  EXPECT_EQ(ToUtf8(parts.password), "secret:more");
  EXPECT_EQ(ToUtf8(parts.host), "host");
  EXPECT_EQ(ToUtf8(parts.port), "81");
}

TEST(MergeAddress, DefaultPortFollowsTheScheme) {
  struct Case {
    const char16_t* address;
    const char* port;
  } cases[] = {{u"http://h/", "80"},
               {u"HtTp://h/", "80"},
               {u"https://h/", "443"},
               {u"HTTPS://h/", "443"},
               {u"http://h:8080/", "8080"}};
  for (const Case& c : cases) {
    Address current;
    MergeAddress(current, ParseAddress(testing::ExactView(c.address)));
    EXPECT_EQ(ToUtf8(current.port), c.port) << ToUtf8(c.address);
  }
}

TEST(MergeAddress, UnknownSchemeNeedsAnEarlierPort) {
  Address current;
  try {
    MergeAddress(current, ParseAddress(u" http://h/a.shtml"));
    FAIL() << "merged without a port";
  } catch (const FetchError& error) {
    EXPECT_EQ(error.failure(), FetchFailure::UnrecognisedScheme);
  }
  // The failed address left its parts; a later http address sets a port.
  EXPECT_EQ(ToUtf8(current.document), "a.shtml");
  MergeAddress(current, ParseAddress(u"http://h:8081/b.shtml"));
  MergeAddress(current, ParseAddress(u" http://g/c.shtml"));
  EXPECT_EQ(ToUtf8(current.port), "8081");
  EXPECT_EQ(ToUtf8(current.host), "g");
  EXPECT_EQ(ToUtf8(current.scheme), " http");
}

TEST(MergeAddress, DocumentAndQueryAreReplacedByEmptyOnes) {
  Address current;
  MergeAddress(current, ParseAddress(u"http://h/d/a.shtml?x=1"));
  MergeAddress(current, ParseAddress(u"http://h/e/"));
  EXPECT_EQ(ToUtf8(RequestTarget(current)), "/e/");
}

TEST(MergeAddress, EmptySchemeKeepsHttpsOnlyAfterHttps) {
  Address current;
  MergeAddress(current, ParseAddress(u"HTTPS://h/"));
  MergeAddress(current, ParseAddress(u"h/x"));
  EXPECT_EQ(ToUtf8(current.scheme), "https");
  MergeAddress(current, ParseAddress(u"ftp://h:21/"));
  MergeAddress(current, ParseAddress(u"h/x"));
  EXPECT_EQ(ToUtf8(current.scheme), "http");
  EXPECT_EQ(ToUtf8(current.port), "80");
}

TEST(HostHeaderValue, DropsOnlyExactly80) {
  struct Case {
    const char16_t* address;
    const char* host;
  } cases[] = {{u"http://Www.H.example/", "Www.H.example"},
               {u"http://h:80/", "h"},
               {u"http://h:81/", "h:81"},
               {u"http://h:080/", "h:080"},
               {u"https://h/", "h:443"}};
  for (const Case& c : cases) {
    Address current;
    MergeAddress(current, ParseAddress(testing::ExactView(c.address)));
    EXPECT_EQ(ToUtf8(HostHeaderValue(current)), c.host) << ToUtf8(c.address);
  }
}

TEST(PortNumber, ReadsDecimalOr80) {
  struct Case {
    const char16_t* text;
    int port;
  } cases[] = {{u"80", 80}, {u"080", 80},      {u" 81 ", 81}, {u"x", 80},  {u"", 80},
               {u"8a", 80}, {u"65535", 65535}, {u"1", 1},     {u"+82", 82}};
  for (const Case& c : cases) EXPECT_EQ(PortNumber(c.text), c.port) << ToUtf8(c.text);
}

TEST(PortNumber, OutsideTheRangeFails) {
  for (const char16_t* text : {u"0", u"65536", u"-1", u"99999999999999999999999"}) {
    try {
      PortNumber(text);
      ADD_FAILURE() << ToUtf8(text) << " was accepted";
    } catch (const FetchError& error) {
      EXPECT_EQ(error.failure(), FetchFailure::InvalidPort) << ToUtf8(text);
    }
  }
}

}  // namespace
}  // namespace velbrook
