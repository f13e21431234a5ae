#pragma once
// Reads the date texts of cookie expiry: RFC 822 / RFC 1123 and their common
// variants, as servers write them.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace velbrook {

// The moment (UTC) that text denotes, or nothing when it is not a date.
std::optional<std::chrono::system_clock::time_point> ReadInternetDate(std::string_view text);

// moment as an RFC 1123 GMT date text ("Wed, 09 Dec 2026 07:31:03 GMT")
// that ReadInternetDate reads back as the same second.
std::string WriteGmtDate(std::chrono::system_clock::time_point moment);

}  // namespace velbrook
