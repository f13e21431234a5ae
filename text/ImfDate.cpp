#include "text/ImfDate.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace velbrook {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerDay = 86400;

constexpr std::array<const char*, 7> kDayAbbreviations = {"Sun", "Mon", "Tue", "Wed",
                                                          "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthAbbreviations = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

// The date of the proleptic Gregorian calendar that lies days after 1970-01-01.
CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace

std::string WriteGmtDate(std::chrono::system_clock::time_point moment) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(moment.time_since_epoch()).count();
  int64_t days = seconds / kSecondsPerDay;
  int64_t secondOfDay = seconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    --days;
  }
  const CivilDate date = CivilFromDays(days);
  // 1970-01-01 was a Thursday.
  const int64_t weekday = ((days % 7) + 7 + 4) % 7;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04lld %02lld:%02lld:%02lld GMT",
                kDayAbbreviations[weekday], date.day, kMonthAbbreviations[date.month - 1],
                static_cast<long long>(date.year),
                static_cast<long long>(secondOfDay / kSecondsPerHour),
                static_cast<long long>(secondOfDay % kSecondsPerHour / kSecondsPerMinute),
                static_cast<long long>(secondOfDay % kSecondsPerMinute));
  return buffer;
}

}  // namespace velbrook
