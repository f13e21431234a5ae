#pragma once
// The text operations that every marker search of the extraction is built from.
// Texts are UTF-16 code units; positions count from 1 and 0 means "not found".
// Every operation is defined at its edges (index <= 0, negative counts, empty
// texts, U+0000 as an ordinary unit): the page extraction relies on exactly
// these results when a marker is missing, doubled or out of order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velbrook {

using Text = std::u16string;
using TextView = std::u16string_view;
using TextList = std::vector<Text>;

// A count that means "to the end of the text".
inline constexpr int32_t kToTheEnd = 2147483647;

// Position of the first occurrence of pattern in text, or 0; 0 also when
// either is empty. Code units are compared exactly.
int32_t Find(TextView pattern, TextView text);
// Offset (from 0) of the first occurrence of pattern in text at or after
// offset from, or TextView::npos; an empty pattern is found at from. The same
// answer as text.find(pattern, from), found many units at a time: the search
// that every marker lookup of a page comes down to.
size_t FindFrom(TextView text, TextView pattern, size_t from = 0);
// Position of the last occurrence of pattern in text, or 0; 0 also when
// either is empty.
int32_t FindLast(TextView pattern, TextView text);

// At most count code units of text from position index: an index below 1 reads
// as 1 without shortening the count, an index past the end or a count <= 0
// gives the empty text, a count past the end stops at the end.
Text Copy(TextView text, int32_t index, int32_t count);
// The same clamping as Copy, as a view into text (no copy made).
TextView Slice(TextView text, int32_t index, int32_t count);

// The rest of text from position index: Copy(text, index, kToTheEnd).
Text RestFrom(TextView text, int32_t index);
TextView RestFromView(TextView text, int32_t index);

// Text with every occurrence of pattern cut out in one left-to-right pass that
// never looks again at what two removals joined. With ignoreCase, both sides
// are compared after the simple per-code-unit upper-case mapping; the units
// that stay keep their case.
Text RemoveAll(TextView text, TextView pattern, bool ignoreCase);

// Text without leading and trailing code units 0x0000 to 0x0020.
Text Trim(TextView text);
TextView TrimView(TextView text);
// Trim leaves nothing.
bool IsBlank(TextView text);
// Same length and the same code units (case counts).
bool IsEqual(TextView a, TextView b);

// Empties list and fills it with the items of a comma-separated text: white
// space (0x0001-0x0020) separates items like the comma, quoted items may hold
// commas and doubled quotes, empty items are kept, the split stops at U+0000.
// A quote that is never closed makes the rest of the text (up to U+0000) its
// item, and that item is the last.
void SplitCommaList(TextView text, TextList& list);

// The value in fixed point with exactly two decimals: rounded first to 18
// significant digits, then to two decimals with halves away from zero.
// The separator is DecimalSeparator().
Text FormatFixed(long double value);

// The integer in decimal digits, '-' in front of a negative one.
Text DecimalDigits(int64_t value);

// The decimal separator of the user's regional settings, "." until read
// (os/DecimalSeparator.h reads them).
char16_t DecimalSeparator();
void SetDecimalSeparator(char16_t separator);

}  // namespace velbrook
