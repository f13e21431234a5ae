#include "fetch/InternetDate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"
#include "text/ImfDate.h"

namespace velbrook {
namespace {

using std::chrono::system_clock;
using TimePoint = system_clock::time_point;

// The expected moments come from the standard library's own calendar, not
// from the reader's arithmetic.
TimePoint Utc(int y, unsigned m, unsigned d, int h = 0, int mi = 0, int s = 0) {
  using namespace std::chrono;
  return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

struct DateCase {
  const char* text;
  TimePoint expected;
};

// A date padded with blanks to the longest text the reader takes.
const std::string kLongestDate = "Wed, 09 Dec 2026 07:31:03 GMT" + std::string(512 - 29, ' ');

class ReadsDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(ReadsDate, AsTheMomentItDenotes) {
  const DateCase& c = GetParam();
  const auto moment = ReadInternetDate(testing::ExactView(c.text));
  ASSERT_TRUE(moment.has_value()) << c.text;
  EXPECT_EQ(*moment, c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    ServerForms, ReadsDate,
    ::testing::Values(
        // RFC 1123, the form nearly every server sends.
        DateCase{"Wed, 09 Dec 2026 07:31:03 GMT", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"Thu, 01 Jan 1970 00:00:00 GMT", Utc(1970, 1, 1)},
        DateCase{"Sun, 06 Nov 1994 08:49:37 GMT", Utc(1994, 11, 6, 8, 49, 37)},
        DateCase{"Fri, 31 Dec 1999 23:59:59 GMT", Utc(1999, 12, 31, 23, 59, 59)},
        DateCase{"Tue, 29 Feb 2028 12:00:00 GMT", Utc(2028, 2, 29, 12)},
        DateCase{"Wed,09 Dec 2026 07:31:03 GMT", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"  Wed, 09 Dec 2026 07:31:03 GMT\t ", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"monday, 15-mar-2027 10:20:30 gmt", Utc(2027, 3, 15, 10, 20, 30)},
        // RFC 850 and the old cookie form with "-" between the date parts.
        DateCase{"Wednesday, 09-Dec-26 07:31:03 GMT", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"Sunday, 06-Nov-94 08:49:37 GMT", Utc(1994, 11, 6, 8, 49, 37)},
        DateCase{"Wed, 09-Dec-2026 07:31:03 GMT", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"Thu, 01-Jan-1970 00:00:01 GMT", Utc(1970, 1, 1, 0, 0, 1)},
        DateCase{"Sat, 01-Jan-00 00:00:00 GMT", Utc(2000, 1, 1)},
        // asctime, and the date command's form, with the year after the time.
        DateCase{"Wed Dec  9 07:31:03 2026", Utc(2026, 12, 9, 7, 31, 3)},
        DateCase{"Sun Nov  6 08:49:37 1994", Utc(1994, 11, 6, 8, 49, 37)},
        DateCase{"Wed Dec 09 07:31:03 UTC 2026", Utc(2026, 12, 9, 7, 31, 3)},
        // Numeric offsets and zone names.
        DateCase{"Mon, 15 Mar 2027 10:20:30 +0800", Utc(2027, 3, 15, 2, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 -0500", Utc(2027, 3, 15, 15, 20, 30)},
        DateCase{"Fri, 01 Jan 2100 00:00:00 +0130", Utc(2099, 12, 31, 22, 30)},
        DateCase{"Thu, 01 Jan 1970 08:00:00 +0800", Utc(1970, 1, 1)},
        DateCase{"15 Mar 2027 10:20:30 EST", Utc(2027, 3, 15, 15, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 EDT", Utc(2027, 3, 15, 14, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 CST", Utc(2027, 3, 15, 16, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 CDT", Utc(2027, 3, 15, 15, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 MST", Utc(2027, 3, 15, 17, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 MDT", Utc(2027, 3, 15, 16, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 PST", Utc(2027, 3, 15, 18, 20, 30)},
        DateCase{"15 Mar 2027 10:20:30 PDT", Utc(2027, 3, 15, 17, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 UT", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 UTC", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 Z", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 CEST", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 Y", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 10:20:30 +0000 (UTC)", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon Mar 15 2027 18:20:30 GMT+0800 (China Standard Time)",
                 Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 18:20:30 +08:00", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Mon, 15 Mar 2027 23:59:30 +2359", Utc(2027, 3, 15, 0, 0, 30)},
        // Comments nested as deep as the reader follows them, and the longest text.
        DateCase{"Mon, 15 Mar 2027 10:20:30 ((((((((x))))))))", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{kLongestDate.c_str(), Utc(2026, 12, 9, 7, 31, 3)},
        // Month before the day, full and shortened names.
        DateCase{"Mar 15 2027 10:20:30 GMT", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"Tues, March 16, 2027 10:20:30 GMT", Utc(2027, 3, 16, 10, 20, 30)},
        DateCase{"15 September 2027 08:00:00 GMT", Utc(2027, 9, 15, 8)},
        DateCase{"Thurs, 16-Sept-2027 08:00:00 GMT", Utc(2027, 9, 16, 8)},
        // Two- and three-digit years.
        DateCase{"15 Mar 49 10:20:30 GMT", Utc(2049, 3, 15, 10, 20, 30)},
        DateCase{"15 Mar 50 10:20:30 GMT", Utc(1950, 3, 15, 10, 20, 30)},
        DateCase{"15-Mar-127 10:20:30 GMT", Utc(2027, 3, 15, 10, 20, 30)},
        // Time written with ".", without seconds, on the 12-hour clock.
        DateCase{"15 Mar 2027 10.20.30 GMT", Utc(2027, 3, 15, 10, 20, 30)},
        DateCase{"15 Mar 2027 10:20 GMT", Utc(2027, 3, 15, 10, 20)},
        DateCase{"Mar 15, 2027 10:20:30 PM GMT", Utc(2027, 3, 15, 22, 20, 30)},
        DateCase{"15 Mar 2027 12:05:00 AM UTC", Utc(2027, 3, 15, 0, 5)},
        DateCase{"15 Mar 2027 12:05:00 PM UTC", Utc(2027, 3, 15, 12, 5)},
        DateCase{"15 Mar 2027 7:05:09 am", Utc(2027, 3, 15, 7, 5, 9)},
        // No time at all: midnight. A leap second runs into the next minute.
        DateCase{"Mon, 15 Mar 2027", Utc(2027, 3, 15)},
        DateCase{"Tue, 31 Dec 2030 23:59:60 GMT", Utc(2031, 1, 1)},
        DateCase{"Mon, 01-Jan-1900 00:00:00 GMT", Utc(1900, 1, 1)}),
    [](const auto& row) { return testing::NumberedCase(row.index, row.param.text); });

class RefusesText : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusesText, AsNoDate) {
  EXPECT_FALSE(ReadInternetDate(testing::ExactView(GetParam())).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, RefusesText,
    ::testing::Values(
        "", "   ", "garbage", "never", "0", "-1", "1733729463", "2026-12-09T07:31:03Z",
        "09/12/2026 07:31:03", "Wed, 32 Dec 2026 07:31:03 GMT", "Wed, 00 Dec 2026 07:31:03 GMT",
        "Sun, 29 Feb 2027 07:31:03 GMT", "Mon, 29 Feb 2100 07:31:03 GMT", "31 Apr 2027 10:00 GMT",
        "09 Foo 2026 07:31:03 GMT", "09 Dec 2026 24:00:00 GMT", "09 Dec 2026 23:60:00 GMT",
        "09 Dec 2026 23:59:61 GMT", "09 Dec 2026 13:00:00 PM", "09 Dec 2026 07:31:03 AM PM",
        "09 Dec 07:31:03 GMT", "Dec 2026 07:31:03 GMT", "09 2026 07:31:03 GMT",
        "09 Dec 2026 07:31:03 +2500", "09 Dec 2026 07:31:03 +0860", "09 Dec 2026 07:31:03 +080",
        "09 Dec 2026 07:31:03 +0100 +0200", "09 Dec 2026 07:31:03 GMT PST",
        "09 Dec Dec 2026 07:31:03", "Wed Wed 09 Dec 2026", "09 Dec 20265 07:31:03 GMT",
        "12345 Dec 2026", "09 Dec 2026 07:31:03:04 GMT", "09 Dec 2026 7:31:03 9:00:00",
        "09 Dec 2026 07:31:03 GMT (unclosed", "Tomorrow 07:31:03", "9th Dec 2026",
        "Wed, 09 Dec 2026 07:31:03 GMT\x01", std::string("09 Dec 2026\0 07:31:03", 21),
        "Wed, 09 Dec. 2026", "+0800 09 Dec 2026", "09 Dec 2026 100:00:00", std::string(65536, '9'),
        "Wed, 09 Dec 2026 " + std::string(70000, ' ') + "07:00 GMT",
        "09 Dec 2026 ((((((((((x))))))))))", "09 Dec 2026 (((((((((x)))))))))",
        "09 Dec 2026 07:31:03 +2400", kLongestDate + " "),
    [](const auto& row) { return testing::NumberedCase(row.index, std::string_view(row.param)); });

// The standard library's reading of a moment, as RFC 1123 writes it.
std::string Rfc1123(TimePoint moment) {
  using namespace std::chrono;
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto second = floor<seconds>(moment);
  const auto dayPoint = floor<days>(second);
  const year_month_day date{dayPoint};
  const hh_mm_ss time{second - dayPoint};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                kDays[weekday{dayPoint}.c_encoding()], unsigned(date.day()),
                kMonths[unsigned(date.month()) - 1], int(date.year()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()));
  return buffer;
}

TEST(WriteGmtDate, IsReadBackAsTheSameSecondAcrossTheClocksRange) {
  using namespace std::chrono;
  // From before 1700 to past 2260 in steps that land on every time of day.
  constexpr int64_t kFirst = -8'000'000'000;
  constexpr int64_t kLast = 9'000'000'000;
  constexpr int64_t kStep = 7'777'777;
  int checked = 0;
  for (int64_t s = kFirst; s <= kLast; s += kStep) {
    const TimePoint moment = TimePoint(seconds(s)) + milliseconds(987);
    const std::string text = WriteGmtDate(moment);
    ASSERT_EQ(text, Rfc1123(moment));
    const auto back = ReadInternetDate(text);
    ASSERT_TRUE(back.has_value()) << text;
    ASSERT_EQ(*back, floor<seconds>(moment)) << text;
    ++checked;
  }
  EXPECT_GT(checked, 2000);
}

TEST(WriteGmtDate, WritesTheEdgesOfTheClock) {
  using namespace std::chrono;
  for (TimePoint moment : {TimePoint::max(), TimePoint::min() + hours(24), TimePoint{},
                           Utc(2028, 2, 29, 23, 59, 59), TimePoint{} - milliseconds(1)}) {
    const std::string text = WriteGmtDate(moment);
    EXPECT_EQ(text, Rfc1123(moment));
    const auto back = ReadInternetDate(text);
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_EQ(*back, floor<seconds>(moment)) << text;
  }
}

TEST(ReadInternetDate, HoldsFarFutureAndFarPastDatesToTheClocksRange) {
  // Servers set "forever" cookies with the year 9999; that must stay in the future.
  const auto future = ReadInternetDate("Fri, 31 Dec 9999 23:59:59 GMT");
  ASSERT_TRUE(future.has_value());
  EXPECT_GT(*future, Utc(2262, 1, 1));
  const auto past = ReadInternetDate("Sat, 01 Jan 0000 00:00:00 GMT");
  ASSERT_TRUE(past.has_value());
  EXPECT_LT(*past, Utc(1678, 1, 1));
}

}  // namespace
}  // namespace velbrook
