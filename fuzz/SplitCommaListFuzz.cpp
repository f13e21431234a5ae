// The comma-list split on arbitrary UTF-16 texts (the input's bytes in pairs,
// little-endian). Properties: the items never hold more code units than the
// text; and any list written out with every item quoted (inner quotes
// doubled) and joined by commas splits back into exactly that list.
#include <cstdint>
#include <cstdlib>

#include "text/MarkerText.h"

namespace {

using velbrook::Text;
using velbrook::TextList;

void Require(bool condition) {
  if (!condition) std::abort();
}

Text Quoted(const Text& item) {
  Text quoted = u"\"";
  for (char16_t unit : item) {
    quoted += unit;
    if (unit == u'"') quoted += u'"';
  }
  return quoted + u"\"";
}

// The text's items: the runs between its U+0000 units (which no item can hold).
TextList ItemsOf(const Text& text) {
  TextList items(1);
  for (char16_t unit : text) {
    if (unit == 0)
      items.emplace_back();
    else
      items.back() += unit;
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text text;
  for (size_t at = 0; at + 1 < size; at += 2)
    text += static_cast<char16_t>(data[at] | (data[at + 1] << 8));

  TextList list{u"stale"};
  velbrook::SplitCommaList(text, list);
  size_t units = 0;
  for (const Text& item : list) units += item.size();
  Require(units <= text.size());

  const TextList items = ItemsOf(text);
  Text written;
  for (size_t at = 0; at < items.size(); ++at) written += (at ? u"," : u"") + Quoted(items[at]);
  velbrook::SplitCommaList(written, list);
  Require(list == items);
  return 0;
}
