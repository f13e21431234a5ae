// The extraction run of one job and the page fetch that feeds it: the typed
// page gives the page list, then every page in turn gives its block. Runs on
// the worker; every touch of the window goes through the window-access ops.
#include "app/MainUnit.h"
#include "page/Extraction.h"
#include "text/Progress.h"

using velbrook::Text;
using velbrook::TextList;

namespace {

constexpr char16_t kPageSuffix[] = u".shtml";
constexpr char16_t kFirstPageKind[] = u"F";
constexpr char16_t kLaterPageKind[] = u"S";
constexpr char16_t kProgressPanel[] = u"A";

}  // namespace

Text TfrmMain::GetSingerPage(const Text& AUrl, const Text& AType) {
  const Text page = GetWebSiteTxt(AUrl);
  // The caption is read from the window each time a header is made.
  const Text caption = velbrook::IsEqual(AType, kFirstPageKind) ? ReadCaption() : Text();
  return velbrook::MakePageBlock(page, AType, caption);
}

bool TfrmMain::ToText() {
  const Text address = ReadAddressBox();
  TextList pages;  // released however the run ends
  {
    const Text typedPage = GetWebSiteTxt(address);
    GetPageName(typedPage, pages);
  }
  // Pages are fetched under the prefix of the typed address, not under any
  // address the page itself names.
  const Text prefix = GetUrlBefore(address);
  // Only now: when the typed page cannot be had, the last run's text stays.
  ClearOutput();

  const auto total = static_cast<int32_t>(pages.size());
  for (int32_t i = 0; i < total; ++i) {
    ShowStatus(velbrook::ProgressText(i + 1, total), kProgressPanel);
    const Text& name = pages[static_cast<std::size_t>(i)];
    if (name.empty()) continue;
    const Text block =
        GetSingerPage(prefix + name + kPageSuffix, i == 0 ? kFirstPageKind : kLaterPageKind);
    if (!velbrook::IsBlank(block)) AppendOutput(block);
  }
  return false;
}
