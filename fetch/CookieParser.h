#pragma once
// A "Set-cookie" or "Set-cookie2" header value read into a cookie record, and
// a record written back out as such a value.
#include <chrono>
#include <string>
#include <string_view>

#include "fetch/CookieStore.h"

namespace velbrook {

// The cookie that value sets, with only its own attributes filled in (no
// defaults from the request). now turns a MAX-AGE into an expiry date text.
// Throws FetchError(CookiePortList) for a Set-cookie2 port list entry that is
// not a number from 0 to 65535.
Cookie ParseCookie(std::string_view value, CookieKind kind,
                   std::chrono::system_clock::time_point now);

// The cookie name of a header value: the trimmed value up to its first "=",
// empty when it has no "=".
std::string_view CookieNameOf(std::string_view value);

// cookie as a header value that ParseCookie reads back into the same name,
// value and attributes.
std::string WriteCookieHeader(const Cookie& cookie);

// Whether text holds a control character, which must never reach a request head.
bool HasControlCharacter(std::string_view text);

}  // namespace velbrook
