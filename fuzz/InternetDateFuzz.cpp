// The Internet date reader on arbitrary texts. Properties: a moment that it
// reads is written by WriteGmtDate as a text that reads back as the same
// second; and any second that the clock can hold survives the same round
// trip (the clock counts nanoseconds in 64 bits: years 1678 to 2261).
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fetch/InternetDate.h"
#include "text/ImfDate.h"

namespace {

using TimePoint = std::chrono::system_clock::time_point;
using Seconds = std::chrono::seconds;

// The whole seconds that a time point holds, from 1970.
const int64_t kFirstSecond =
    std::chrono::ceil<Seconds>(TimePoint::min().time_since_epoch()).count() + 1;
const int64_t kPastLastSecond =
    std::chrono::floor<Seconds>(TimePoint::max().time_since_epoch()).count();

void Require(bool condition) {
  if (!condition) std::abort();
}

void RequireRoundTrip(TimePoint moment) {
  const TimePoint second = std::chrono::floor<Seconds>(moment);
  const auto back = velbrook::ReadInternetDate(velbrook::WriteGmtDate(moment));
  Require(back.has_value() && *back == second);
}

bool InWrittenRange(TimePoint moment) {
  const int64_t seconds = std::chrono::floor<Seconds>(moment).time_since_epoch().count();
  return seconds >= kFirstSecond && seconds < kPastLastSecond;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto moment = velbrook::ReadInternetDate(text); moment && InWrittenRange(*moment))
    RequireRoundTrip(*moment);

  if (size >= sizeof(int64_t)) {
    uint64_t raw;
    std::memcpy(&raw, data, sizeof raw);
    const auto span = static_cast<uint64_t>(kPastLastSecond - kFirstSecond);
    const int64_t seconds = kFirstSecond + static_cast<int64_t>(raw % span);
    RequireRoundTrip(TimePoint(Seconds(seconds)));
  }
  return 0;
}
