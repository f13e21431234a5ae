#pragma once
// Byte texts read by ASCII rules, whatever the process's locale: only A-Z and
// a-z have a letter case, and every other byte, one above 0x7F included, is
// itself. The HTTP head, cookies and dates are compared this way.
#include <string>
#include <string_view>

namespace velbrook {

std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);

// text without leading and trailing bytes 0x00 to 0x20 (control characters
// and the space; 0x7F stays): how a received header value or cookie is read.
std::string_view TrimControlsAndSpaces(std::string_view text);
// text without leading and trailing spaces and tabs: the optional white
// space around a value of a request head.
std::string_view TrimSpacesAndTabs(std::string_view text);

}  // namespace velbrook
