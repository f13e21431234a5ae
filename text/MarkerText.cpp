#include "text/MarkerText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/Encoding.h"
#include "text/UpperCase.h"

namespace velbrook {
namespace {

// FindFrom looks at this many offsets in one step.
constexpr size_t kUnitsPerStep = 8;

constexpr char16_t kDelimiter = u',';
constexpr char16_t kQuote = u'"';
constexpr char16_t kLastControlUnit = 0x0020;  // Trim drops 0x0000 up to here
constexpr char16_t kDefaultSeparator = u'.';
// FormatFixed: the value is first taken to this many significant digits ...
constexpr int kSignificantDigits = 18;
// ... then rounded to this many decimals.
constexpr int kDecimals = 2;
constexpr int kRoundingDigit = 5;

std::atomic<char16_t> gDecimalSeparator{kDefaultSeparator};

bool IsControlUnit(char16_t unit) { return unit <= kLastControlUnit; }

// White space of the comma-list split: 0x0001 to 0x0020 (U+0000 ends the list).
bool IsListWhiteSpace(char16_t unit) { return unit != 0 && unit <= kLastControlUnit; }

Text UpperCopy(TextView text) {
  Text upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), UpperUnit);
  return upper;
}

// Reads the quoted item whose opening quote is at text[pos]; returns the
// position just after the closing quote. An unclosed quote takes the rest of
// the text (up to U+0000, where the whole split stops).
size_t ReadQuotedItem(TextView text, size_t pos, Text& item) {
  const size_t size = text.size();
  ++pos;
  while (pos < size && text[pos] != 0) {
    if (text[pos] != kQuote) {
      item.push_back(text[pos++]);
    } else if (pos + 1 < size && text[pos + 1] == kQuote) {
      item.push_back(kQuote);
      pos += 2;
    } else {
      return pos + 1;
    }
  }
  return pos;
}

size_t ReadPlainItem(TextView text, size_t pos, Text& item) {
  const size_t begin = pos;
  while (pos < text.size() && text[pos] != kDelimiter && text[pos] != 0 &&
         !IsListWhiteSpace(text[pos]))
    ++pos;
  item.assign(text.substr(begin, pos - begin));
  return pos;
}

size_t SkipListWhiteSpace(TextView text, size_t pos) {
  while (pos < text.size() && IsListWhiteSpace(text[pos])) ++pos;
  return pos;
}

// The decimal digits of |value| from the power 10^max(exponent, 0) down to
// 10^-(kDecimals+1), taken from its form with kSignificantDigits significant
// digits. The C library rounds that form correctly; the decimal point it
// prints depends on LC_NUMERIC, so only digits and the exponent are read.
std::string DigitsDownToRoundingPlace(long double magnitude) {
  char printed[64];
  std::snprintf(printed, sizeof printed, "%.*Le", kSignificantDigits - 1, magnitude);
  std::string mantissa;
  const char* cursor = printed;
  for (; *cursor != '\0' && *cursor != 'e' && *cursor != 'E'; ++cursor)
    if (*cursor >= '0' && *cursor <= '9') mantissa.push_back(*cursor);
  const long exponent = (*cursor != '\0') ? std::strtol(cursor + 1, nullptr, 10) : 0;

  const long highest = std::max(exponent, 0L);
  std::string digits;
  for (long power = highest; power >= -(kDecimals + 1); --power) {
    const long index = exponent - power;
    const bool inMantissa = index >= 0 && index < static_cast<long>(mantissa.size());
    digits.push_back(inMantissa ? mantissa[index] : '0');
  }
  return digits;
}

// Drops the last digit, rounding the rest half up in decimal.
std::string RoundOffLastDigit(std::string digits) {
  const bool roundUp = digits.back() - '0' >= kRoundingDigit;
  digits.pop_back();
  if (!roundUp) return digits;
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return '1' + digits;
}

}  // namespace

size_t FindFrom(TextView text, TextView pattern, size_t from) {
  const size_t n = pattern.size();
  if (from > text.size() || n > text.size() - from) return TextView::npos;
  if (n == 0) return from;
  const char16_t* const units = text.data();
  const size_t last = text.size() - n;  // the last offset where pattern can start
  size_t at = from;
#if defined(__SSE2__)
  // Eight offsets at a time: where both the pattern's first and its last unit
  // stand in place, the rest of the pattern is compared.
  const __m128i first = _mm_set1_epi16(static_cast<short>(pattern.front()));
  const __m128i final = _mm_set1_epi16(static_cast<short>(pattern.back()));
  for (; at + kUnitsPerStep - 1 <= last; at += kUnitsPerStep) {
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at + n - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi16(heads, first), _mm_cmpeq_epi16(tails, final))));
    while (mask != 0) {
      const size_t candidate = at + static_cast<size_t>(__builtin_ctz(mask)) / 2;
      if (std::char_traits<char16_t>::compare(units + candidate + 1, pattern.data() + 1, n - 1) ==
          0)
        return candidate;
      mask &= mask - 1;  // both bytes of the unit
      mask &= mask - 1;
    }
  }
#endif
  for (; at <= last; ++at)
    if (units[at] == pattern.front() &&
        std::char_traits<char16_t>::compare(units + at + 1, pattern.data() + 1, n - 1) == 0)
      return at;
  return TextView::npos;
}

int32_t Find(TextView pattern, TextView text) {
  if (pattern.empty() || text.empty()) return 0;
  const size_t found = FindFrom(text, pattern);
  if (found == TextView::npos) return 0;
  return static_cast<int32_t>(found + 1);
}

int32_t FindLast(TextView pattern, TextView text) {
  if (pattern.empty() || text.empty()) return 0;
  const size_t found = text.rfind(pattern);
  if (found == TextView::npos) return 0;
  return static_cast<int32_t>(found + 1);
}

TextView Slice(TextView text, int32_t index, int32_t count) {
  // 64 bits: index + count may pass the 32-bit range (count is often kToTheEnd).
  const int64_t length = static_cast<int64_t>(text.size());
  const int64_t start = index < 1 ? 1 : std::min<int64_t>(index, length + 1);
  const int64_t units = count < 0 ? 0 : std::min<int64_t>(count, length - start + 1);
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(units));
}

Text Copy(TextView text, int32_t index, int32_t count) { return Text(Slice(text, index, count)); }

TextView RestFromView(TextView text, int32_t index) { return Slice(text, index, kToTheEnd); }

Text RestFrom(TextView text, int32_t index) { return Text(RestFromView(text, index)); }

Text RemoveAll(TextView text, TextView pattern, bool ignoreCase) {
  Text upperText, upperPattern;
  TextView searchText = text;
  TextView searchPattern = pattern;
  if (ignoreCase) {
    upperText = UpperCopy(text);
    upperPattern = UpperCopy(pattern);
    searchText = upperText;
    searchPattern = upperPattern;
  }
  Text result;
  result.reserve(text.size());
  // The search goes on from behind each removal, so what two removals join is
  // never searched again; both copies have the same length throughout.
  size_t from = 0;
  while (from < text.size()) {
    const size_t found =
        searchPattern.empty() ? TextView::npos : searchText.find(searchPattern, from);
    if (found == TextView::npos) {
      result.append(text.substr(from));
      break;
    }
    result.append(text.substr(from, found - from));
    from = found + searchPattern.size();
  }
  return result;
}

TextView TrimView(TextView text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsControlUnit(text[begin])) ++begin;
  while (end > begin && IsControlUnit(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

Text Trim(TextView text) { return Text(TrimView(text)); }

bool IsBlank(TextView text) { return TrimView(text).empty(); }

bool IsEqual(TextView a, TextView b) { return a == b; }

void SplitCommaList(TextView text, TextList& list) {
  list.clear();
  const size_t size = text.size();
  size_t pos = SkipListWhiteSpace(text, 0);
  while (pos < size && text[pos] != 0) {
    Text item;
    pos = text[pos] == kQuote ? ReadQuotedItem(text, pos, item) : ReadPlainItem(text, pos, item);
    list.push_back(std::move(item));
    pos = SkipListWhiteSpace(text, pos);
    if (pos < size && text[pos] == kDelimiter) {
      if (pos == size - 1) list.emplace_back();
      pos = SkipListWhiteSpace(text, pos + 1);
    }
  }
}

Text FormatFixed(long double value) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";

  std::string digits = RoundOffLastDigit(DigitsDownToRoundingPlace(std::fabs(value)));
  const size_t integerDigits = digits.size() - kDecimals;
  const size_t leadingZeros =
      std::min(digits.find_first_not_of('0'), integerDigits - 1);  // keep one before the point
  const bool isZero = digits.find_first_not_of('0') == std::string::npos;

  Text result;
  if (value < 0 && !isZero) result.push_back(u'-');
  for (size_t i = leadingZeros; i < integerDigits; ++i) result.push_back(digits[i]);
  result.push_back(DecimalSeparator());
  for (size_t i = integerDigits; i < digits.size(); ++i) result.push_back(digits[i]);
  return result;
}

Text DecimalDigits(int64_t value) { return FromAscii(std::to_string(value)); }

char16_t DecimalSeparator() { return gDecimalSeparator.load(std::memory_order_relaxed); }

void SetDecimalSeparator(char16_t separator) {
  gDecimalSeparator.store(separator, std::memory_order_relaxed);
}

}  // namespace velbrook
