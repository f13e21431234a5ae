// Extraction time linear in the page: any fuzz input (its bytes in pairs,
// little-endian) repeated to a quarter of a million code units goes through
// the page list discovery and the page block of a first and a later page
// within the fuzzer's time-out (10 s in scripts/fuzz). Linear work takes
// some ten milliseconds here; work quadratic in the page would take hours.
#include <cstdint>

#include "page/Extraction.h"
#include "page/PageList.h"

namespace {

using velbrook::Text;

constexpr char16_t kCaption[] = u"Velbrook1.0b";
constexpr size_t kLongPageUnits = 256 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text unit;
  for (size_t at = 0; at + 1 < size; at += 2)
    unit += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  if (unit.empty()) return 0;
  Text page;
  page.reserve(kLongPageUnits + unit.size());
  while (page.size() < kLongPageUnits) page += unit;
  velbrook::TextList names;
  velbrook::GetPageName(page, names);
  velbrook::MakePageBlock(page, u"F", kCaption);
  velbrook::MakePageBlock(page, u"S", kCaption);
  return 0;
}
