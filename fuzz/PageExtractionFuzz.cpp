// The page extraction without the network on arbitrary page texts (the
// input's bytes in pairs, little-endian, so that the fuzzer meets the
// markers' code units directly). Properties: a second call gives the same
// result (no hidden state); page names and the address prefix are never
// longer than the text; the address prefix is a prefix ending in "/".
#include <cstdint>
#include <cstdlib>

#include "app/MainUnit.h"

namespace {

using velbrook::Text;
using velbrook::TextList;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckPageNames(const Text& page) {
  TextList names{u"stale"};
  TfrmMain::GetPageName(page, names);
  TextList again;
  TfrmMain::GetPageName(page, again);
  Require(names == again);
  for (const Text& name : names) Require(name.size() <= page.size());
}

void CheckAddressPrefix(const Text& address) {
  const Text prefix = TfrmMain::GetUrlBefore(address);
  Require(address.compare(0, prefix.size(), prefix) == 0);
  Require(prefix.empty() || prefix.back() == u'/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text page;
  for (size_t at = 0; at + 1 < size; at += 2)
    page += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  CheckPageNames(page);
  CheckAddressPrefix(page);
  return 0;
}
