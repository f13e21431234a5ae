#pragma once
// Reads the date texts of cookie expiry: RFC 822 / RFC 1123 and their common
// variants, as servers write them.
#include <chrono>
#include <optional>
#include <string_view>

namespace velbrook {

// The moment (UTC) that text denotes, or nothing when it is not a date.
std::optional<std::chrono::system_clock::time_point> ReadInternetDate(std::string_view text);

}  // namespace velbrook
