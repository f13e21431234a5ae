// The page extraction without the network on arbitrary page texts (the
// input's bytes in pairs, little-endian, so that the fuzzer meets the
// markers' code units directly): page names, address prefix, author and
// title, first post, filter and the page block of a first and a later page.
// Properties: a second call gives the same result (no hidden state); pieces
// cut from the page are never longer than it; the address prefix is a prefix
// ending in "/"; and the filter equals its definition by remove-all. Time
// linear in the page is LongPageFuzz.cpp's property.
#include <cstdint>
#include <cstdlib>

#include "page/Extraction.h"
#include "page/PageList.h"

namespace {

using velbrook::Text;
using velbrook::TextList;

constexpr char16_t kCaption[] = u"Velbrook1.0b";

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckPageNames(const Text& page) {
  TextList names{u"stale"};
  velbrook::GetPageName(page, names);
  TextList again;
  velbrook::GetPageName(page, again);
  Require(names == again);
  for (const Text& name : names) Require(name.size() <= page.size());
}

void CheckAddressPrefix(const Text& address) {
  const Text prefix = velbrook::GetUrlBefore(address);
  Require(address.compare(0, prefix.size(), prefix) == 0);
  Require(prefix.empty() || prefix.back() == u'/');
}

void CheckAuthorTitleAndFirstPost(const Text& page) {
  Text author, title;
  velbrook::GetAuthorTitle(page, author, title);
  Require(author.size() <= page.size() && title.size() <= page.size());
  Text author2, title2;
  velbrook::GetAuthorTitle(page, author2, title2);
  Require(author == author2 && title == title2);
  Require(velbrook::GetFirstPost(page).size() <= page.size());
}

void CheckFilter(const Text& text) {
  Text expected = velbrook::RemoveAll(text, u"<br>", true);
  expected = velbrook::RemoveAll(expected, u"&nbsp", true);
  expected = velbrook::RemoveAll(expected, u" ", true);
  Require(velbrook::FilterStr(text) == expected);
}

void CheckPageBlocks(const Text& page) {
  const Text first = velbrook::MakePageBlock(page, u"F", kCaption);
  Require(velbrook::MakePageBlock(page, u"F", kCaption) == first);
  const Text later = velbrook::MakePageBlock(page, u"S", kCaption);
  Require(velbrook::MakePageBlock(page, u"S", kCaption) == later);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text page;
  for (size_t at = 0; at + 1 < size; at += 2)
    page += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  CheckPageNames(page);
  CheckAddressPrefix(page);
  CheckAuthorTitleAndFirstPost(page);
  CheckFilter(page);
  CheckPageBlocks(page);
  return 0;
}
