#include "fetch/InternetDate.h"

#include <array>
#include <cstdint>
#include <limits>

#include "text/Ascii.h"

namespace velbrook {
namespace {

using TimePoint = std::chrono::system_clock::time_point;

// No real date text comes near this; longer input is refused before any work.
constexpr std::size_t kMaxDateTextLength = 512;
// Longer digit runs are no part of any date field and would only risk overflow.
constexpr std::size_t kMaxDigitRun = 4;
// Comments in parentheses may nest ("(a (b))"), but not without end.
constexpr int kMaxCommentDepth = 8;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int kMaxOffsetHours = 23;
// Two-digit years below this are in the 2000s, the others in the 1900s.
constexpr int kTwoDigitYearPivot = 50;
constexpr int kThreeDigitYearBase = 1900;
// Words that may name a day or a month must be at least this long ("Sept").
constexpr std::size_t kMinNameLength = 3;

constexpr std::array<const char*, 7> kDayNames = {"sunday",   "monday", "tuesday", "wednesday",
                                                  "thursday", "friday", "saturday"};
constexpr std::array<const char*, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

struct Zone {
  const char* name;
  int offsetHours;
};
// The zones of RFC 822. The military letters other than Z are left unknown,
// and so GMT: RFC 1123 notes that their signs were given the wrong way round.
constexpr std::array<Zone, 12> kZones = {{{"gmt", 0},
                                          {"ut", 0},
                                          {"utc", 0},
                                          {"z", 0},
                                          {"est", -5},
                                          {"edt", -4},
                                          {"cst", -6},
                                          {"cdt", -5},
                                          {"mst", -7},
                                          {"mdt", -6},
                                          {"pst", -8},
                                          {"pdt", -7}}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// "Wed", "Weds" and "Wednesday" all name the same day.
bool AbbreviatesName(std::string_view word, std::string_view lowerName) {
  return word.size() >= kMinNameLength && StartsWithIgnoringAsciiCase(lowerName, word);
}

template <std::size_t N>
int IndexOfName(std::string_view word, const std::array<const char*, N>& names) {
  for (std::size_t i = 0; i < N; ++i)
    if (AbbreviatesName(word, names[i])) return static_cast<int>(i);
  return -1;
}

const Zone* FindZone(std::string_view word) {
  for (const Zone& zone : kZones)
    if (EqualsIgnoringAsciiCase(word, zone.name)) return &zone;
  return nullptr;
}

// The fields of a date text as they were found, before they are checked.
struct DateFields {
  int day = -1;
  int month = -1;  // 1 to 12
  int year = -1;
  std::size_t yearDigits = 0;
  int hour = -1;
  int minute = 0;
  int second = 0;
  bool weekdaySeen = false;
  int halfDay = 0;  // 0: none, 1: AM, 2: PM
  bool zoneNamed = false;
  int zoneMinutes = 0;
  bool offsetGiven = false;
  int offsetMinutes = 0;

  bool TimeSeen() const { return hour >= 0; }
  bool DateComplete() const { return day >= 0 && month >= 0 && year >= 0; }
};

class DateScanner {
 public:
  explicit DateScanner(std::string_view text) : text_(text) {}

  bool Scan(DateFields& fields) {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      bool ok = true;
      if (IsSeparator(c)) {
        ++pos_;
      } else if (c == '(') {
        ok = SkipComment();
      } else if (c == '+' || c == '-') {
        ok = ScanSign(fields);
      } else if (IsLetter(c)) {
        ok = ScanWord(fields);
      } else if (IsDigit(c)) {
        ok = ScanNumber(fields);
      } else {
        ok = false;
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool SkipComment() {
    int depth = 0;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '(' && ++depth > kMaxCommentDepth) return false;
      if (c == ')' && --depth == 0) return true;
    }
    return false;
  }

  std::string_view DigitRun() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  static int ValueOf(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
  }

  bool NextIsDigit(std::size_t at) const { return at < text_.size() && IsDigit(text_[at]); }

  // After the time a sign starts a zone offset; before it a "-" only
  // separates day, month and year.
  bool ScanSign(DateFields& fields) {
    const char sign = text_[pos_];
    if (fields.TimeSeen() && NextIsDigit(pos_ + 1)) {
      ++pos_;
      return ScanOffset(fields, sign == '-' ? -1 : 1);
    }
    if (sign == '-') {
      ++pos_;
      return true;
    }
    return false;
  }

  // "+hhmm" or "+hh:mm".
  bool ScanOffset(DateFields& fields, int sign) {
    if (fields.offsetGiven) return false;
    std::string_view digits = DigitRun();
    int hours = 0;
    int minutes = 0;
    if (digits.size() == 4) {
      hours = ValueOf(digits.substr(0, 2));
      minutes = ValueOf(digits.substr(2));
    } else if (digits.size() == 2 && pos_ < text_.size() && text_[pos_] == ':') {
      ++pos_;
      std::string_view minuteDigits = DigitRun();
      if (minuteDigits.size() != 2) return false;
      hours = ValueOf(digits);
      minutes = ValueOf(minuteDigits);
    } else {
      return false;
    }
    if (hours > kMaxOffsetHours || minutes > 59) return false;
    fields.offsetGiven = true;
    fields.offsetMinutes = sign * (hours * 60 + minutes);
    return true;
  }

  bool ScanWord(DateFields& fields) {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsLetter(text_[pos_])) ++pos_;
    const std::string_view word = text_.substr(start, pos_ - start);

    if (EqualsIgnoringAsciiCase(word, "am") || EqualsIgnoringAsciiCase(word, "pm")) {
      if (!fields.TimeSeen() || fields.halfDay != 0) return false;
      fields.halfDay = EqualsIgnoringAsciiCase(word, "am") ? 1 : 2;
      return true;
    }
    if (IndexOfName(word, kDayNames) >= 0) {
      if (fields.weekdaySeen) return false;
      fields.weekdaySeen = true;  // the day name is not checked against the date
      return true;
    }
    if (const int month = IndexOfName(word, kMonthNames); month >= 0) {
      if (fields.month >= 0) return false;
      fields.month = month + 1;
      return true;
    }
    const Zone* zone = FindZone(word);
    if (!zone && !fields.TimeSeen() && !fields.DateComplete()) return false;
    if (fields.zoneNamed) return false;
    // An unrecognised zone name counts as GMT.
    fields.zoneNamed = true;
    fields.zoneMinutes = zone ? zone->offsetHours * 60 : 0;
    return true;
  }

  bool ScanNumber(DateFields& fields) {
    const std::string_view digits = DigitRun();
    if (digits.size() > kMaxDigitRun) return false;
    if (pos_ < text_.size() && (text_[pos_] == ':' || text_[pos_] == '.')) {
      return ScanTime(fields, digits);
    }
    if (fields.day < 0 && digits.size() <= 2) {
      fields.day = ValueOf(digits);
      return true;
    }
    if (fields.year < 0 && digits.size() >= 2) {
      fields.year = ValueOf(digits);
      fields.yearDigits = digits.size();
      return true;
    }
    return false;
  }

  // "hh:mm", "hh:mm:ss", or the same with "." between the numbers.
  bool ScanTime(DateFields& fields, std::string_view hourDigits) {
    if (fields.TimeSeen() || hourDigits.size() > 2) return false;
    int parts[2] = {0, 0};
    int count = 0;
    while (count < 2 && pos_ < text_.size() && (text_[pos_] == ':' || text_[pos_] == '.') &&
           NextIsDigit(pos_ + 1)) {
      ++pos_;
      std::string_view digits = DigitRun();
      if (digits.size() > 2) return false;
      parts[count++] = ValueOf(digits);
    }
    if (count == 0) return false;
    fields.hour = ValueOf(hourDigits);
    fields.minute = parts[0];
    fields.second = parts[1];
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int FullYear(const DateFields& fields) {
  if (fields.yearDigits == 2)
    return fields.year < kTwoDigitYearPivot ? 2000 + fields.year : 1900 + fields.year;
  if (fields.yearDigits == 3) return kThreeDigitYearBase + fields.year;
  return fields.year;
}

// The hour of the 24-hour clock, or -1 when it does not fit its clock.
int Hour24(const DateFields& fields) {
  if (fields.hour < 0) return 0;  // no time given: midnight
  if (fields.halfDay == 0) return fields.hour <= 23 ? fields.hour : -1;
  if (fields.hour > 12) return -1;
  const int hour = fields.hour % 12;
  return fields.halfDay == 2 ? hour + 12 : hour;
}

// Whole seconds since the epoch as a time point, held to the range that the
// clock can represent (far-future expiries such as the year 9999 included).
TimePoint FromSeconds(int64_t seconds) {
  using std::chrono::duration_cast;
  const int64_t maxSeconds =
      duration_cast<std::chrono::seconds>(TimePoint::max().time_since_epoch()).count();
  const int64_t minSeconds =
      duration_cast<std::chrono::seconds>(TimePoint::min().time_since_epoch()).count();
  if (seconds > maxSeconds) seconds = maxSeconds;
  if (seconds < minSeconds) seconds = minSeconds;
  return TimePoint(duration_cast<TimePoint::duration>(std::chrono::seconds(seconds)));
}

}  // namespace

std::optional<TimePoint> ReadInternetDate(std::string_view text) {
  if (text.size() > kMaxDateTextLength) return std::nullopt;
  DateFields fields;
  if (!DateScanner(text).Scan(fields) || !fields.DateComplete()) return std::nullopt;

  const int year = FullYear(fields);
  if (fields.month < 1 || fields.month > 12) return std::nullopt;
  if (fields.day < 1 || fields.day > DaysInMonth(year, fields.month)) return std::nullopt;
  const int hour = Hour24(fields);
  // A second of 60 is a leap second; it runs on into the next minute.
  if (hour < 0 || fields.minute > 59 || fields.second > 60) return std::nullopt;

  const int zoneMinutes = fields.offsetGiven ? fields.offsetMinutes : fields.zoneMinutes;
  const int64_t seconds = DaysFromCivil(year, fields.month, fields.day) * kSecondsPerDay +
                          hour * kSecondsPerHour + fields.minute * kSecondsPerMinute +
                          fields.second - zoneMinutes * kSecondsPerMinute;
  return FromSeconds(seconds);
}

}  // namespace velbrook
