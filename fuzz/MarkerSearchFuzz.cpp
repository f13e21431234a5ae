// The marker search, which looks at many code units at a time, against the
// plain search of the standard library. Input (bytes in pairs, little-endian):
// the first unit gives the pattern's length (mod 32) and the second a start
// offset; the pattern follows, then the text. Find, FindFrom and FindLast
// must give exactly the positions of find and rfind.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "text/MarkerText.h"

namespace {

using velbrook::Text;
using velbrook::TextView;

void Require(bool condition) {
  if (!condition) std::abort();
}

int32_t Position(size_t offset) {
  return offset == TextView::npos ? 0 : static_cast<int32_t>(offset) + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text units;
  for (size_t at = 0; at + 1 < size; at += 2)
    units += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  if (units.size() < 2) return 0;
  const size_t patternLength = std::min<size_t>(units[0] % 32, units.size() - 2);
  const TextView pattern = TextView(units).substr(2, patternLength);
  const TextView text = TextView(units).substr(2 + patternLength);
  const size_t from = units[1] % (text.size() + 2);

  Require(velbrook::FindFrom(text, pattern, from) == text.find(pattern, from));
  Require(velbrook::FindFrom(text, pattern) == text.find(pattern));
  const bool eitherEmpty = pattern.empty() || text.empty();
  Require(velbrook::Find(pattern, text) == (eitherEmpty ? 0 : Position(text.find(pattern))));
  Require(velbrook::FindLast(pattern, text) == (eitherEmpty ? 0 : Position(text.rfind(pattern))));
  return 0;
}
