// The pagination area is cut out by its markers; the positions that the
// markers give are those of Find, counted from 1.
#include "page/PageList.h"

#include "page/MarkerLength.h"
#include "page/SiteAddresses.h"

namespace velbrook {
namespace {

// The pagination area of a page; pages without it carry the fallback area.
constexpr char16_t kAreaStart[] = u"开始点击数和分页链接";
constexpr char16_t kAreaEnd[] = u"结束点击数和分页链接";
constexpr char16_t kFallbackAreaStart[] = u"天涯百宝箱";
constexpr char16_t kFallbackAreaEnd[] = u"开始主贴内容";
// Present in the area at position 2 or later when the thread has several pages.
constexpr char16_t kSeveralPages[] = u"pages";
constexpr int32_t kFirstSeveralPagesPosition = 2;
// The hidden input that holds the page names.
constexpr char16_t kListStart[] = u"idArticleslist";
constexpr char16_t kListInput[] = u"apn";
constexpr char16_t kListValue[] = u"value";
// The list starts this many units after "value" is found: behind value=".
constexpr char16_t kListValueOpening[] = u"value=\"";
constexpr int32_t kListValueSkip = MarkerLength(kListValueOpening);
constexpr char16_t kNextInput[] = u"><input";
// The closing of the list's input before "><input".
constexpr char16_t kListInputClosing[] = u"\"/";
constexpr int32_t kNextInputSkip = MarkerLength(kListInputClosing);
// A one-page thread carries its own address.
constexpr char16_t kAddressEnd[] = u"shtml";
constexpr int32_t kAddressEndLength = MarkerLength(kAddressEnd);
constexpr char16_t kPageSuffix[] = u".shtml";
constexpr char16_t kPathSeparator[] = u"/";

// From the first start marker up to, not including, the first end marker.
TextView Between(TextView text, TextView start, TextView end) {
  const int32_t s = Find(start, text);
  const int32_t e = Find(end, text);
  return Slice(text, s, e - s);
}

TextView PaginationArea(TextView page) {
  if (Find(kAreaStart, page) > 0) return Between(page, kAreaStart, kAreaEnd);
  return Between(page, kFallbackAreaStart, kFallbackAreaEnd);
}

// The name of the one page of a thread: its own address in the area, cut
// behind its last "/" and before ".shtml".
Text OnePageName(TextView area) {
  const int32_t u = Find(kForumSiteAddress, area);
  const int32_t m = Find(kAddressEnd, area);
  const Text address = Copy(area, u, m + kAddressEndLength - u);
  const auto k = static_cast<int32_t>(GetUrlBefore(address).size());
  const int32_t d = Find(kPageSuffix, address);
  return Copy(address, k + 1, d - 1 - k);
}

// The text of the hidden input's value that lists the page names.
TextView PageNamesText(TextView area) {
  area = RestFromView(area, Find(kListStart, area));
  area = RestFromView(area, Find(kListInput, area));
  const int32_t v = Find(kListValue, area) + kListValueSkip;
  const int32_t w = Find(kNextInput, area);
  return Slice(area, v, w - kNextInputSkip - v);
}

}  // namespace

Text GetUrlBefore(TextView address) { return Copy(address, 1, FindLast(kPathSeparator, address)); }

void GetPageName(TextView page, TextList& names) {
  names.clear();
  const TextView area = PaginationArea(page);
  if (Find(kSeveralPages, area) >= kFirstSeveralPagesPosition)
    SplitCommaList(PageNamesText(area), names);
  else
    names.push_back(OnePageName(area));
}

}  // namespace velbrook
