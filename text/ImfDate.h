#pragma once
// The IMF-fixdate of HTTP (RFC 9110 section 5.6.7), "Sun, 06 Nov 1994 08:49:37 GMT":
// the Date of the forum's answers and the cookie expiry dates that the client writes.
#include <chrono>
#include <string>

namespace velbrook {

// moment as an IMF-fixdate, to the second below it, in English whatever the
// locale; any moment the clock can hold, however far from today.
std::string WriteGmtDate(std::chrono::system_clock::time_point moment);

}  // namespace velbrook
