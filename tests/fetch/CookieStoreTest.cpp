#include "fetch/CookieStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "fetch/CookieParser.h"
#include "fetch/CookieRules.h"
#include "fetch/FetchError.h"
#include "fetch/InternetDate.h"
#include "tests/support/CaseName.h"

namespace velbrook {
namespace {

using std::chrono::seconds;
using TimePoint = std::chrono::system_clock::time_point;
using Strings = std::vector<std::string>;

TimePoint Utc(int y, unsigned m, unsigned d, int h = 0, int mi = 0, int s = 0) {
  using namespace std::chrono;
  return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

constexpr const char* kHost = "www.forum.example";
constexpr const char* kDirectory = "/publicforum/content/";

// A store on a clock that only the test moves.
class CookieStoreTest : public ::testing::Test {
 protected:
  TimePoint now = Utc(2026, 12, 9, 7, 0, 0) + std::chrono::milliseconds(250);
  CookieStore store{[this] { return now; }};

  void Store(Strings setCookie, Strings setCookie2 = {}, const std::string& host = kHost,
             const std::string& directory = kDirectory, const std::string& port = "80") {
    store.StoreResponseCookies(std::move(setCookie), std::move(setCookie2), host, directory, port);
  }

  // The Cookie header value that a request would carry.
  std::string Sent(const std::string& host = kHost, const std::string& directory = kDirectory,
                   const std::string& scheme = "http", int port = 80) {
    std::string header;
    for (const auto& [name, value] : store.Select(host, directory, scheme, port)) {
      if (!header.empty()) header += "; ";
      header += name + "=" + value;
    }
    return header;
  }

  std::vector<Cookie> All() const {
    std::vector<Cookie> cookies;
    for (const CookieDomain& entry : store.Snapshot())
      cookies.insert(cookies.end(), entry.cookies.begin(), entry.cookies.end());
    return cookies;
  }
};

// ---------------------------------------------------------------------------
// Acceptance and defaults

struct AcceptanceCase {
  const char* name;
  CookieKind kind;
  std::string value;
  std::string host;
  std::string directory;
  std::string port;
  bool stored;
  std::string domain = {};  // expected when stored
  std::string path = {};
};

class Acceptance : public CookieStoreTest, public ::testing::WithParamInterface<AcceptanceCase> {};

TEST_P(Acceptance, StoresOrDropsTheCookie) {
  const AcceptanceCase& c = GetParam();
  Strings values{c.value};
  if (c.kind == CookieKind::SetCookie) {
    Store(values, {}, c.host, c.directory, c.port);
  } else {
    Store({}, values, c.host, c.directory, c.port);
  }
  const std::vector<Cookie> cookies = All();
  if (!c.stored) {
    EXPECT_TRUE(cookies.empty()) << c.name;
    return;
  }
  ASSERT_EQ(cookies.size(), 1u) << c.name;
  EXPECT_EQ(cookies[0].kind, c.kind) << c.name;
  EXPECT_EQ(cookies[0].domain, c.domain) << c.name;
  EXPECT_EQ(cookies[0].path, c.path) << c.name;
}

constexpr CookieKind V1 = CookieKind::SetCookie;
constexpr CookieKind V2 = CookieKind::SetCookie2;

INSTANTIATE_TEST_SUITE_P(
    Rules, Acceptance,
    ::testing::Values(
        AcceptanceCase{"no domain: the host with a dot", V1, "sid=1", "pages.forum.example", "/",
                       "80", true, ".pages.forum.example", "/"},
        AcceptanceCase{"parent domain", V1, "sid=1; domain=.forum.example", kHost, kDirectory, "80",
                       true, ".forum.example", "/"},
        AcceptanceCase{"port after the domain is cut", V1, "sid=1; domain=.forum.example:8080",
                       kHost, kDirectory, "80", true, ".forum.example", "/"},
        AcceptanceCase{"domain without leading dot", V1, "sid=1; domain=forum.example", kHost,
                       kDirectory, "80", false},
        AcceptanceCase{"dot and a single label", V1, "sid=1; domain=.example", kHost, kDirectory,
                       "80", false},
        AcceptanceCase{"another site's domain", V1, "sid=1; domain=.other.example", kHost,
                       kDirectory, "80", false},
        AcceptanceCase{"host two labels below the domain", V1, "sid=1; domain=.forum.example",
                       "a.b.forum.example", "/", "80", false},
        AcceptanceCase{"domain of only dots", V1, "sid=1; domain=.....", kHost, kDirectory, "80",
                       false},
        AcceptanceCase{"domain of one dot", V1, "sid=1; domain=.", kHost, kDirectory, "80", false},
        AcceptanceCase{"host without a dot", V1, "sid=1", "localhost", "/", "80", false},
        AcceptanceCase{"IPv4 host", V1, "sid=1", "127.0.0.1", "/", "80", false},
        AcceptanceCase{"path the directory does not begin with", V1, "sid=1; path=/other", kHost,
                       kDirectory, "80", false},
        AcceptanceCase{"path compared ignoring case", V1, "sid=1; path=/PublicForum", kHost,
                       kDirectory, "80", true, ".www.forum.example", "/PublicForum"},
        AcceptanceCase{"quoted path", V1, "sid=1; path=\"/publicforum\"", kHost, kDirectory, "80",
                       true, ".www.forum.example", "/publicforum"},
        AcceptanceCase{"path of only quotes: the directory", V1, "sid=1; path=\"\"", kHost,
                       kDirectory, "80", true, ".www.forum.example", "/publicforum/content"},
        AcceptanceCase{"empty path", V1, "sid=1; path=", kHost, kDirectory, "80", true,
                       ".www.forum.example", "/"},
        AcceptanceCase{"first of two paths counts", V1, "sid=1; path=/; path=/other", kHost,
                       kDirectory, "80", true, ".www.forum.example", "/"},
        AcceptanceCase{"attribute names in any case", V1,
                       "sid=1; DoMaIn=.forum.example; pAtH=/publicforum", kHost, kDirectory, "80",
                       true, ".forum.example", "/publicforum"},
        AcceptanceCase{"no blank after the semicolons", V1,
                       "sid=1;domain=.forum.example;path=/publicforum", kHost, kDirectory, "80",
                       true, ".forum.example", "/publicforum"},
        AcceptanceCase{"control character in the name", V1, "s\x01id=1", kHost, kDirectory, "80",
                       false},
        AcceptanceCase{"control character in the value", V1, "sid=a\rb", kHost, kDirectory, "80",
                       false},
        AcceptanceCase{"NUL in the value", V1, std::string("sid=a\0b", 7), kHost, kDirectory, "80",
                       false},
        AcceptanceCase{"version 1", V2, "sid=1; Version=1", kHost, kDirectory, "80", true,
                       ".www.forum.example", "/"},
        AcceptanceCase{"quoted version is not a number", V2, "sid=1; Version=\"1\"", kHost,
                       kDirectory, "80", false},
        AcceptanceCase{"no version", V2, "sid=1", kHost, kDirectory, "80", false},
        AcceptanceCase{"version 0", V2, "sid=1; Version=0", kHost, kDirectory, "80", false},
        AcceptanceCase{"domain gets its dot", V2, "sid=1; Version=1; Domain=forum.example", kHost,
                       kDirectory, "80", true, ".forum.example", "/"},
        AcceptanceCase{"host without a dot: .local", V2, "sid=1; Version=1", "intranet", "/", "80",
                       true, ".intranet.local", "/"},
        AcceptanceCase{"domain .local", V2, "sid=1; Version=1; Domain=.local", "intranet", "/",
                       "80", true, ".local", "/"},
        AcceptanceCase{"single label domain", V2, "sid=1; Version=1; Domain=.example", kHost,
                       kDirectory, "80", false},
        AcceptanceCase{"port in the list", V2, "sid=1; Version=1; Port=\"80,8080\"", kHost,
                       kDirectory, "8080", true, ".www.forum.example", "/"},
        AcceptanceCase{"port not in the list", V2, "sid=1; Version=1; Port=\"80, 8080\"", kHost,
                       kDirectory, "81", false},
        AcceptanceCase{"unquoted port: the receiving port", V2, "sid=1; Version=1; Port=8080",
                       kHost, kDirectory, "8081", true, ".www.forum.example", "/"},
        AcceptanceCase{"port text not a number reads as 80", V2, "sid=1; Version=1; Port=\"80\"",
                       kHost, kDirectory, "x", true, ".www.forum.example", "/"}),
    testing::RowName());

TEST(CookieRules, DomainMatch) {
  struct Case {
    const char* host;
    const char* domain;
    bool matches;
  };
  const Case cases[] = {
      {"www.forum.example", ".forum.example", true},
      {"forum.example", ".forum.example", true},
      {"WWW.Forum.Example", ".forum.EXAMPLE", true},
      {"evilforum.example", ".forum.example", false},
      {"forum.example.org", ".forum.example", false},
      {"www.forum.example", "www.forum.example", true},
      {"a.www.forum.example", "www.forum.example", false},
      {".forum.example", ".forum.example", false},
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.1", ".0.0.1", false},
      {"1.127.0.0.1", ".127.0.0.1", false},
      {"a...", "...", false},
      {"www.forum.example", ".", false},
      {"intranet.local", ".local", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DomainMatches(c.host, c.domain), c.matches) << c.host << " / " << c.domain;
}

TEST(CookieRules, IPv4Address) {
  const std::pair<const char*, bool> cases[] = {
      {"127.0.0.1", true},  {"255.255.255.255", true}, {"0.0.0.0", true},    {"001.02.3.004", true},
      {"256.0.0.1", false}, {"1.2.3", false},          {"1.2.3.4.5", false}, {"1.2.3.4.", false},
      {"1..3.4", false},    {"1.2.3.0004", false},     {"a.b.c.d", false},   {"", false},
      {".1.2.3.4", false},  {"1.2.3.4a", false}};
  for (const auto& [host, expected] : cases) EXPECT_EQ(IsIPv4Address(host), expected) << host;
}

TEST(CookieRules, RequestPortNumber) {
  const std::pair<const char*, int> cases[] = {{"80", 80}, {" 8080 ", 8080}, {"", 80},
                                               {"x", 80},  {"65535", 65535}, {"65536", 80},
                                               {"-1", 80}, {"080", 80},      {"99999999999", 80}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(RequestPortNumber(text), expected) << text;
}

// ---------------------------------------------------------------------------
// Parsing

TEST_F(CookieStoreTest, ParsesEveryAttributeOfASetCookie2Value) {
  const Cookie c = ParseCookie(
      "  sid=a=b ; Path=\"/p\" ; Domain=.forum.example:81; Expires=Wed, 09 Dec 2026 07:31:03 "
      "GMT; Secure; HttpOnly; Max-Age=60; Version=1; Comment=hello; CommentURL=http://x/c; "
      "Discard; Port=\"80 81,82\"  ",
      CookieKind::SetCookie2, now);
  EXPECT_EQ(c.name, "sid");
  EXPECT_EQ(c.value, "a=b");
  EXPECT_EQ(c.path, "/p");
  EXPECT_EQ(c.domain, ".forum.example");
  EXPECT_EQ(c.expires, "Wed, 09 Dec 2026 07:31:03 GMT");  // EXPIRES outweighs MAX-AGE
  EXPECT_TRUE(c.secure);
  EXPECT_TRUE(c.httpOnly);
  EXPECT_EQ(c.maxAge, 60);
  EXPECT_EQ(c.version, 1);
  EXPECT_EQ(c.comment, "hello");
  EXPECT_EQ(c.commentUrl, "http://x/c");
  EXPECT_TRUE(c.discard);
  EXPECT_TRUE(c.portGiven);
  EXPECT_EQ(c.portList, (std::vector<uint16_t>{80, 81, 82}));
}

TEST_F(CookieStoreTest, ASetCookieValueIgnoresTheSetCookie2Attributes) {
  const Cookie c =
      ParseCookie("a=1; CommentURL=x; Discard; Port=\"abc\"", CookieKind::SetCookie, now);
  EXPECT_EQ(c.commentUrl, "");
  EXPECT_FALSE(c.discard);
  EXPECT_FALSE(c.portGiven);
}

TEST_F(CookieStoreTest, NameAndValueOfTheFirstPiece) {
  struct Case {
    const char* value;
    const char* name;
    const char* cookieValue;
  };
  const Case cases[] = {{"a=b", "a", "b"},      {"a=", "a", ""},
                        {"=b", "", "b"},        {"justaname; path=/", "", ""},
                        {"a=b=c;", "a", "b=c"}, {" a = b ;x", "a ", " b"},
                        {"", "", ""},           {";;;", "", ""}};
  for (const Case& c : cases) {
    const Cookie cookie = ParseCookie(c.value, CookieKind::SetCookie, now);
    EXPECT_EQ(cookie.name, c.name) << c.value;
    EXPECT_EQ(cookie.value, c.cookieValue) << c.value;
    EXPECT_EQ(cookie.cookieText, c.value);
  }
}

TEST_F(CookieStoreTest, MaxAgeBecomesAnExpiryReadBackAsNowPlusTheSeconds) {
  using std::chrono::floor;
  struct Case {
    const char* value;
    int64_t maxAge;
    bool hasExpiry;
  };
  const Case cases[] = {{"a=1; Max-Age=0", 0, true},
                        {"a=1; max-age=3600", 3600, true},
                        {"a=1; MAX-AGE=\"86400\"", -1, false},
                        {"a=1; Max-Age=+7", 7, true},
                        {"a=1; Max-Age=-5", -5, false},
                        {"a=1; Max-Age=abc", -1, false},
                        {"a=1; Max-Age=", -1, false},
                        {"a=1; Max-Age=12x", -1, false},
                        {"a=1", -1, false}};
  for (const Case& c : cases) {
    const Cookie cookie = ParseCookie(c.value, CookieKind::SetCookie, now);
    EXPECT_EQ(cookie.maxAge, c.maxAge) << c.value;
    ASSERT_EQ(!cookie.expires.empty(), c.hasExpiry) << c.value;
    if (!c.hasExpiry) continue;
    const auto expiry = ReadInternetDate(cookie.expires);
    ASSERT_TRUE(expiry.has_value()) << cookie.expires;
    EXPECT_EQ(*expiry, floor<seconds>(now) + seconds(c.maxAge)) << c.value;
  }
}

TEST_F(CookieStoreTest, LargestMaxAgeIsHeldToTheLastMomentTheClockKnows) {
  const Cookie cookie = ParseCookie("a=1; Max-Age=9223372036854775807", CookieKind::SetCookie, now);
  EXPECT_EQ(cookie.maxAge, std::numeric_limits<int64_t>::max());
  const auto expiry = ReadInternetDate(cookie.expires);
  ASSERT_TRUE(expiry.has_value()) << cookie.expires;
  EXPECT_GT(*expiry, Utc(2262, 1, 1));
}

TEST_F(CookieStoreTest, NumbersPastTheirTypeAreNotNumbers) {
  const std::pair<const char*, int64_t> maxAges[] = {
      {"a=1; Max-Age=9223372036854775808", -1},
      {"a=1; Max-Age=99999999999999999999999999", -1},
      {"a=1; Max-Age=-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {"a=1; Max-Age=-9223372036854775809", -1}};
  for (const auto& [value, maxAge] : maxAges) {
    const Cookie cookie = ParseCookie(value, CookieKind::SetCookie, now);
    EXPECT_EQ(cookie.maxAge, maxAge) << value;
    EXPECT_EQ(cookie.expires, "") << value;
  }
}

TEST_F(CookieStoreTest, VersionReadsAsANumberOrZero) {
  const std::pair<const char*, int32_t> cases[] = {
      {"a=1; Version=1", 1},
      {"a=1; version=\"2\"", 0},
      {"a=1; Version=one", 0},
      {"a=1", 0},
      {"a=1; Version=2147483647", std::numeric_limits<int32_t>::max()},
      {"a=1; Version=2147483648", 0},
      {"a=1; Version=99999999999", 0},
      {"a=1; Version=-2147483648", std::numeric_limits<int32_t>::min()}};
  for (const auto& [value, version] : cases)
    EXPECT_EQ(ParseCookie(value, CookieKind::SetCookie2, now).version, version) << value;
}

TEST_F(CookieStoreTest, WrittenOutCookieReadsBackTheSame) {
  const char* values[] = {
      "a=b; path=\"\"/x\"; domain=.forum.example; expires= Wed, 09 Dec 2026 07:31:03 GMT",
      "a=; Max-Age=30; Version=1; Comment=c=d; CommentURL=u; Secure; HttpOnly; Discard; Port",
      "=v; path=; Port=\"80,443\"", "x y=z z; path=\"/quoted\""};
  for (const char* value : values) {
    const Cookie first = ParseCookie(value, CookieKind::SetCookie2, now);
    const Cookie again =
        ParseCookie(WriteCookieHeader(first), CookieKind::SetCookie2, now + seconds(5));
    EXPECT_EQ(again.name, first.name) << value;
    EXPECT_EQ(again.value, first.value) << value;
    EXPECT_EQ(again.path, first.path) << value;
    EXPECT_EQ(again.domain, first.domain) << value;
    EXPECT_EQ(again.expires, first.expires) << value;
    EXPECT_EQ(again.maxAge, first.maxAge) << value;
    EXPECT_EQ(again.version, first.version) << value;
    EXPECT_EQ(again.comment, first.comment) << value;
    EXPECT_EQ(again.commentUrl, first.commentUrl) << value;
    EXPECT_EQ(again.secure, first.secure) << value;
    EXPECT_EQ(again.httpOnly, first.httpOnly) << value;
    EXPECT_EQ(again.discard, first.discard) << value;
    EXPECT_EQ(again.portGiven, first.portGiven) << value;
    EXPECT_EQ(again.portList, first.portList) << value;
  }
}

TEST_F(CookieStoreTest, BadPortListEntryFailsTheFetch) {
  const std::string nines(32, '9');
  const std::pair<std::string, std::string> lists[] = {// a list, the entry its failure quotes
                                                       {"80,abc", "abc"},
                                                       {"70000", "70000"},
                                                       {"-1", "-1"},
                                                       {"+80", "+80"},
                                                       {"80\x01", "80\x01"},
                                                       {nines, nines},
                                                       {nines + "9", nines + "..."}};
  for (const auto& [list, quoted] : lists) {
    const std::string value = "sid=1; Version=1; Port=\"" + list + "\"";
    try {
      Store({"kept=1"}, {value});
      ADD_FAILURE() << "no failure for " << value;
    } catch (const FetchError& error) {
      EXPECT_EQ(error.failure(), FetchFailure::CookiePortList) << value;
      EXPECT_EQ(error.what(),
                "Set-cookie2 port list entry is not a port number: \"" + quoted + "\"");
    }
  }
  // The Set-cookie values before the bad one stay stored; the bad cookie is not.
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].name, "kept");
}

TEST_F(CookieStoreTest, PortListAcceptsTheWholeRange) {
  Store({}, {"sid=1; Version=1; Port=\"0, 65535,,80\""});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].portList, (std::vector<uint16_t>{0, 65535, 80}));
  EXPECT_EQ(cookies[0].receivingPort, 80);
}

// ---------------------------------------------------------------------------
// Order and replacement

TEST_F(CookieStoreTest, SameNameInOtherCaseReplacesInPlace) {
  Store({"a=1", "SID=first; path=/publicforum", "b=2"});
  Store({"sid=second"});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].name, "a");
  EXPECT_EQ(cookies[1].name, "sid");
  EXPECT_EQ(cookies[1].value, "second");
  EXPECT_EQ(cookies[1].path, "/");  // the attributes of the new cookie
  EXPECT_EQ(cookies[2].name, "b");
  EXPECT_EQ(Sent(), "a=1; sid=second; b=2");
}

TEST_F(CookieStoreTest, ReplacementKeepsTheKindAndTheExpiryMoment) {
  Store({"x=1"});
  Store({}, {"X=2; Version=1; Max-Age=100; Comment=new"});
  now += seconds(30);
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 1u);
  const Cookie& c = cookies[0];
  EXPECT_EQ(c.kind, CookieKind::SetCookie);
  EXPECT_EQ(c.name, "X");
  EXPECT_EQ(c.value, "2");
  EXPECT_EQ(c.version, 1);
  EXPECT_EQ(c.comment, "new");
  EXPECT_EQ(c.maxAge, 100);
  EXPECT_EQ(c.domain, ".www.forum.example");
  EXPECT_EQ(ReadInternetDate(c.expires),
            std::chrono::floor<seconds>(now - seconds(30)) + seconds(100));
  // The record was last read from the new cookie written out as a header value.
  EXPECT_EQ(ParseCookie(c.cookieText, CookieKind::SetCookie, now).value, "2");
  EXPECT_NE(c.cookieText.find("X=2"), std::string::npos);
}

TEST_F(CookieStoreTest, ASetCookie2RecordKeepsItsKindWhenASetCookieReplacesIt) {
  Store({}, {"x=1; Version=1; Port=\"80\""});
  Store({"x=2"});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].kind, CookieKind::SetCookie2);
  EXPECT_EQ(cookies[0].value, "2");
  EXPECT_FALSE(cookies[0].portGiven);  // the new cookie has no port attribute
}

TEST_F(CookieStoreTest, DomainEntriesAreKeyedIgnoringCaseAndKeptInCreationOrder) {
  Store({"a=1; domain=.Forum.Example", "b=2", "c=3; domain=.forum.example"});
  const std::vector<CookieDomain> entries = store.Snapshot();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].domain, ".Forum.Example");
  ASSERT_EQ(entries[0].cookies.size(), 2u);
  EXPECT_EQ(entries[0].cookies[0].name, "a");
  EXPECT_EQ(entries[0].cookies[1].name, "c");
  EXPECT_EQ(entries[1].domain, ".www.forum.example");
  EXPECT_EQ(entries[1].cookies[0].name, "b");
}

TEST_F(CookieStoreTest, SetCookie2WinsOverTheFirstSetCookieOfItsName) {
  Store({"a=1", "Sid=v1", "b=2"}, {"sid=v2; Version=1"});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].name, "a");
  EXPECT_EQ(cookies[1].name, "b");
  EXPECT_EQ(cookies[2].name, "sid");
  EXPECT_EQ(cookies[2].value, "v2");
  EXPECT_EQ(cookies[2].kind, CookieKind::SetCookie2);
}

TEST_F(CookieStoreTest, SetCookie2LeavesASetCookieWhoseNameDiffersInItsFirstLetter) {
  Store({"sid=1"}, {"aid=2; Version=1"});
  EXPECT_EQ(Sent(), "sid=1; aid=2");
}

TEST_F(CookieStoreTest, SetCookie2RemovesOnlyOneSetCookieForEachOfItsValues) {
  // The second "a" Set-cookie stays and is stored first; the Set-cookie2 then
  // replaces it in place, keeping its kind.
  Store({"a=1", "a=2", "b=3"}, {"a=9; Version=1"});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0].name, "a");
  EXPECT_EQ(cookies[0].value, "9");
  EXPECT_EQ(cookies[0].kind, CookieKind::SetCookie);
  EXPECT_EQ(cookies[1].name, "b");
}

// ---------------------------------------------------------------------------
// Expiry

TEST_F(CookieStoreTest, MaxAgeZeroIsGoneAtTheNextSweep) {
  // Also on a clock standing still on a whole second: expiry equal to now is past.
  for (TimePoint at : {now, Utc(2026, 12, 9, 8, 0, 0)}) {
    now = at;
    Store({"gone=1; Max-Age=0", "stays=1"});
    EXPECT_EQ(All().size(), 2u);
    EXPECT_EQ(Sent(), "stays=1");
    EXPECT_EQ(All().size(), 1u);
  }
}

TEST_F(CookieStoreTest, ExpiryTextThatIsNoDateIsGoneAtTheNextSweep) {
  Store({"gone=1; expires=soon", "stays=1; expires="});
  EXPECT_EQ(All().size(), 2u);
  store.Sweep();
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].name, "stays");
}

TEST_F(CookieStoreTest, CookieIsSentUntilItsExpiryPasses) {
  // 15:00 at +0800 is 07:00 GMT on the same day.
  now = Utc(2026, 12, 9, 6, 0, 0);
  Store({"sid=1; expires=Wed, 09 Dec 2026 15:00:00 +0800", "session=2"});
  EXPECT_EQ(Sent(), "sid=1; session=2");
  now = Utc(2026, 12, 9, 6, 59, 59);
  EXPECT_EQ(Sent(), "sid=1; session=2");
  now = Utc(2026, 12, 9, 7, 0, 1);
  EXPECT_EQ(Sent(), "session=2");
  now = Utc(2027, 1, 1);
  EXPECT_EQ(Sent(), "session=2");  // no expiry: kept until the program ends
}

TEST_F(CookieStoreTest, MaxAgeCountsFromTheMomentOfStoring) {
  Store({"sid=1; Max-Age=60"});
  now += seconds(59);
  EXPECT_EQ(Sent(), "sid=1");
  now += seconds(2);
  EXPECT_EQ(Sent(), "");
}

TEST_F(CookieStoreTest, PastExpiryIsStoredAndSweptAndTheEntryStays) {
  Store({"old=1; expires=Thu, 01 Jan 1970 00:00:00 GMT"});
  ASSERT_EQ(All().size(), 1u);
  store.Sweep();
  const std::vector<CookieDomain> entries = store.Snapshot();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].cookies.empty());
  // The emptied entry takes a new cookie of the swept name.
  Store({"old=2"});
  EXPECT_EQ(Sent(), "old=2");
  EXPECT_EQ(store.Snapshot().size(), 1u);
}

TEST_F(CookieStoreTest, SweptCookieLeavesTheOthersFindableForReplacement) {
  Store({"a=1", "gone=1; Max-Age=0", "c=1"});
  store.Sweep();
  Store({"c=2", "a=2"});
  EXPECT_EQ(Sent(), "a=2; c=2");
  EXPECT_EQ(All().size(), 2u);
}

// ---------------------------------------------------------------------------
// Selection

TEST_F(CookieStoreTest, NewestDomainEntryFirstAndStoreOrderWithinAnEntry) {
  Store({"a=1; domain=.forum.example", "b=2; domain=.forum.example"});
  Store({"c=3", "d=4"});
  EXPECT_EQ(Sent(), "c=3; d=4; a=1; b=2");
  EXPECT_EQ(Sent("bbs.forum.example"), "a=1; b=2");
}

TEST_F(CookieStoreTest, DefaultDomainCookieGoesToItsHostAndTheHostsBelowIt) {
  Store({"sid=1"}, {}, "pages.forum.example", "/");
  EXPECT_EQ(Sent("pages.forum.example", "/"), "sid=1");
  EXPECT_EQ(Sent("x.pages.forum.example", "/"), "sid=1");
  EXPECT_EQ(Sent("forum.example", "/"), "");
  EXPECT_EQ(Sent("otherpages.forum.example", "/"), "");
}

TEST_F(CookieStoreTest, SelectionTestsPathSecureAndEmptyValue) {
  Store({"p=1; path=/publicforum", "s=2; secure", "e=", "plain=3"});
  EXPECT_EQ(Sent(kHost, "/PUBLICFORUM/content/"), "p=1; plain=3");
  EXPECT_EQ(Sent(kHost, "/other/"), "plain=3");
  EXPECT_EQ(Sent(kHost, kDirectory, "HTTPS"), "p=1; s=2; plain=3");
}

TEST_F(CookieStoreTest, SetCookie2PortTests) {
  Store({}, {"listed=1; Version=1; Port=\"8080,8082\""}, kHost, kDirectory, "8080");
  Store({}, {"receiving=2; Version=1; Port"}, kHost, kDirectory, "8081");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 8080), "listed=1");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 8081), "receiving=2");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 8082), "listed=1");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 80), "");
  // A replacing Set-cookie2 brings the port it came to.
  Store({}, {"receiving=3; Version=1; Port"}, kHost, kDirectory, "8083");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 8083), "receiving=3");
  // Without a port attribute, as for every Set-cookie, any port will do.
  Store({"plain=4"}, {"any=5; Version=1"}, kHost, kDirectory, "8081");
  EXPECT_EQ(Sent(kHost, kDirectory, "http", 8084), "plain=4; any=5");
}

TEST_F(CookieStoreTest, HostWithoutDotFindsItsLocalCookies) {
  Store({}, {"sid=1; Version=1"}, "intranet", "/");
  EXPECT_EQ(Sent("intranet", "/"), "sid=1");
  EXPECT_EQ(Sent("INTRANET.local", "/"), "sid=1");
  EXPECT_EQ(Sent("other", "/"), "");
}

TEST_F(CookieStoreTest, EmptyStoreSelectsNothing) {
  EXPECT_TRUE(store.Select(kHost, kDirectory, "http", 80).empty());
}

// ---------------------------------------------------------------------------
// Hostile values

TEST_F(CookieStoreTest, TenThousandPiecesAreAllRead) {
  std::string value = "a=b";
  for (int i = 0; i < 10000; ++i) value += "; x" + std::to_string(i) + "=y";
  value += "; secure; path=/publicforum";
  const Cookie many = ParseCookie(value, CookieKind::SetCookie, now);
  EXPECT_TRUE(many.secure);
  EXPECT_EQ(many.path, "/publicforum");
  EXPECT_EQ(ParseCookie("c=d" + std::string(10000, ';'), CookieKind::SetCookie, now).value, "d");
}

TEST_F(CookieStoreTest, HeaderValueUpToTheSizeBoundIsStoredAndSentWholeAndALongerOneRefused) {
  const std::string name = "big=";
  const std::string atBound(kMaxCookieBytes - name.size(), 'v');
  Store({name + atBound, "long=" + atBound},
        {"big2=" + atBound.substr(12) + "; Version=1", "long2=" + atBound});
  EXPECT_EQ(Sent(), "big=" + atBound + "; big2=" + atBound.substr(12));
  EXPECT_EQ(All().size(), 2u);
  Store({}, {"over2=" + atBound + "; Version=1"});
  EXPECT_EQ(All().size(), 2u);
}

TEST_F(CookieStoreTest, DomainEntryPastItsBoundLosesItsOldestCookie) {
  for (size_t i = 0; i < kMaxCookiesPerDomain; ++i) Store({"c" + std::to_string(i) + "=v"});
  Store({"c0=renewed", "c1=renewed"});  // a replaced cookie keeps its age
  Store({"new=v"});
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), kMaxCookiesPerDomain);
  EXPECT_EQ(cookies.front().name, "c1");
  EXPECT_EQ(cookies.front().value, "renewed");
  EXPECT_EQ(cookies.back().name, "new");
  // The names of the entry still find their cookies.
  Store({"c2=again"});
  EXPECT_EQ(All()[1].value, "again");
}

TEST_F(CookieStoreTest, StorePastItsBoundLosesItsOldestCookieWhereverItIs) {
  const size_t hosts = kMaxCookies / kMaxCookiesPerDomain;
  auto host = [](size_t i) { return "h" + std::to_string(i) + ".forum.example"; };
  for (size_t h = 0; h < hosts; ++h)
    for (size_t i = 0; i < kMaxCookiesPerDomain; ++i)
      Store({"c" + std::to_string(i) + "=v"}, {}, host(h));
  Store({"c0=renewed"}, {}, host(0));
  Store({"late=1", "late=2"}, {}, host(hosts));
  const std::vector<CookieDomain> entries = store.Snapshot();
  ASSERT_EQ(entries.size(), hosts + 1);
  size_t count = 0;
  for (const CookieDomain& entry : entries) count += entry.cookies.size();
  EXPECT_EQ(count, kMaxCookies);
  ASSERT_EQ(entries[0].cookies.size(), kMaxCookiesPerDomain - 1);
  EXPECT_EQ(entries[0].cookies.front().name, "c1");
  EXPECT_EQ(entries[1].cookies.size(), kMaxCookiesPerDomain);
  EXPECT_EQ(Sent(host(hosts)), "late=2");
  // A cookie replaced later than the store's oldest stays younger than it.
  Store({"c0=renewed"}, {}, host(1));
  Store({"later=1"}, {}, host(hosts));
  EXPECT_EQ(store.Snapshot()[0].cookies.front().name, "c2");
  EXPECT_EQ(store.Snapshot()[1].cookies.front().value, "renewed");
}

TEST_F(CookieStoreTest, HostileAttributesAreRefusedOrSweptWithoutHarm) {
  Store({"dots=1; domain=" + std::string(4000, '.'), std::string("nul=1; path=/\0x", 15),
         "longexpiry=1; expires=" + std::string(4000, '9'),
         "forever=1; Max-Age=99999999999999999999999",
         "ports=1; Version=1; Port=\"" + std::string(4000, ',') + "\""});
  Store({}, {"many=1; Version=1; Port=\"" + [] {
          std::string list;
          for (int i = 0; i < 1300; ++i) list += "80,";
          return list;
        }() + "\""});
  now = Utc(2200, 1, 1);
  EXPECT_EQ(Sent(), "forever=1; ports=1; many=1");
}

// ---------------------------------------------------------------------------
// The lock

TEST_F(CookieStoreTest, WritersAndReadersOnSeveralThreadsLoseNothing) {
  constexpr int kPerWriter = 300;
  // One host each, so that no domain entry reaches its bound.
  auto writer = [this](const std::string& prefix) {
    for (int i = 0; i < kPerWriter; ++i)
      Store({prefix + std::to_string(i) + "=v"}, {}, prefix + std::to_string(i) + ".forum.example");
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  std::thread reader([this] {
    for (int i = 0; i < kPerWriter; ++i) store.Select(kHost, kDirectory, "http", 80);
  });
  first.join();
  second.join();
  reader.join();
  const std::vector<Cookie> cookies = All();
  ASSERT_EQ(cookies.size(), 2u * kPerWriter);
  // Each writer's cookies keep their relative order.
  int nextA = 0;
  int nextB = 0;
  for (const Cookie& c : cookies) {
    int& next = c.name[0] == 'a' ? nextA : nextB;
    EXPECT_EQ(c.name.substr(1), std::to_string(next));
    ++next;
  }
}

}  // namespace
}  // namespace velbrook
