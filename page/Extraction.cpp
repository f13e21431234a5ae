// The page block is cut out by the markers below; the positions that the
// markers give are those of Find, counted from 1.
#include "page/Extraction.h"

#include <array>
#include <cstddef>

#include "page/MarkerLength.h"
#include "page/SiteAddresses.h"
#include "text/UpperCase.h"

namespace velbrook {
namespace {

// --- The author and title window of the page's script variables. ---
constexpr char16_t kWindowStart[] = u"chrAuthorName";
constexpr char16_t kWindowEnd[] = u"chrItem";
constexpr char16_t kTitleStart[] = u"chrTitle";
constexpr char16_t kValueOpen[] = u"\"";
constexpr char16_t kValueClose[] = u"\";";

// --- The posts region and the markers around each post. ---
constexpr char16_t kRegionStart[] = u"开始首贴作者和日期";
constexpr char16_t kRegionEnd[] = u"结束贴子内容";
constexpr char16_t kFirstAuthorStart[] = u"_blank\">";
constexpr int32_t kFirstAuthorSkip = MarkerLength(kFirstAuthorStart);
constexpr char16_t kAuthorEnd[] = u"</a>";
constexpr char16_t kFirstPostStart[] = u"\"post\">";
constexpr int32_t kFirstPostSkip = MarkerLength(kFirstPostStart);
constexpr char16_t kPostEnd[] = u"post-jb";
// The report link's own <div class=" stands before "post-jb".
constexpr char16_t kPostEndOpening[] = u"<div class=\"";
constexpr int32_t kPostEndLead = MarkerLength(kPostEndOpening);
constexpr char16_t kLaterPostHeading[] = u"<TABLE";
constexpr char16_t kLaterAuthorStart[] = u"_blank>";
constexpr int32_t kLaterAuthorSkip = MarkerLength(kLaterAuthorStart);
constexpr char16_t kHeadingEnd[] = u"</table>";
constexpr int32_t kHeadingEndLength = MarkerLength(kHeadingEnd);
constexpr char16_t kLaterPostStart[] = u"post\">";
constexpr int32_t kLaterPostSkip = MarkerLength(kLaterPostStart);

// --- The pieces of a block. ---
constexpr char16_t kGap[] = u"\r\n\r\n";
constexpr char16_t kRule[] =
    u"--------------------------------------------------------------------";
constexpr char16_t kFirstPageKind[] = u"F";
constexpr char16_t kAuthorLabel[] = u"作者:";
constexpr char16_t kMadeByOpen[] = u"本文章由[";
constexpr char16_t kMadeByClose[] = u"]生成,欢迎访问";
constexpr char16_t kUpdateNote[] = u",更新您的程序.";

// --- What the filter takes out, in this order, whatever the case. ---
constexpr char16_t kLineBreakTag[] = u"<br>";
constexpr char16_t kNoBreakSpace[] = u"&nbsp";
constexpr char16_t kSpace[] = u" ";

// RemoveAll(text, pattern, true) in one pass without upper-cased copies of
// the text: the filter runs over whole blocks, and the mapping per unit is
// most of remove-all's cost there.
Text RemoveIgnoringCase(TextView text, TextView pattern) {
  if (pattern.empty()) return Text(text);
  Text upperPattern(pattern);
  for (char16_t& unit : upperPattern) unit = UpperUnit(unit);
  const auto matchesAt = [&](std::size_t at) {
    for (std::size_t k = 0; k < upperPattern.size(); ++k)
      if (UpperUnit(text[at + k]) != upperPattern[k]) return false;
    return true;
  };
  Text result;
  result.reserve(text.size());
  std::size_t kept = 0;  // the units from here on are not in result yet
  std::size_t at = 0;
  while (at + upperPattern.size() <= text.size()) {
    if (UpperUnit(text[at]) == upperPattern[0] && matchesAt(at)) {
      result.append(text.substr(kept, at - kept));
      at += upperPattern.size();
      kept = at;
    } else {
      ++at;
    }
  }
  result.append(text.substr(kept));
  return result;
}

// A block never grows past this many units per unit of its page. Posts whose
// texts do not overlap stay far below it (at most about 13); only a page whose
// headings lack their "</table>" can make the passes copy the same long text
// again and again, and such a page would otherwise need memory quadratic in
// its size.
constexpr std::size_t kBlockUnitsPerPageUnit = 16;
constexpr std::size_t kBlockAllowance = 4096;

// The text between the first opening quote and the first quote followed by a
// semicolon.
Text QuotedValue(TextView text) {
  const int32_t q = Find(kValueOpen, text);
  const int32_t r = Find(kValueClose, text);
  return Copy(text, q + 1, r - q - 1);
}

// The work text of one page, which the extraction only ever cuts from the
// front. The next occurrence of every marker is kept as an offset into the
// whole region and searched again only once the work text has moved past it,
// so each marker is scanned over the page about once, however many posts the
// page holds; the positions given are those that Find on View() would give.
class WorkText {
 public:
  enum Marker : std::size_t {
    Heading,
    LaterAuthor,
    AuthorEnd,
    HeadingEnd,
    LaterPost,
    PostEnd,
    kCount
  };

  explicit WorkText(TextView region) : region_(region) {}

  TextView View() const { return region_.substr(start_); }

  int32_t Find(Marker marker) {
    Next& next = next_[marker];
    if (!next.searched || (next.offset != TextView::npos && next.offset < start_)) {
      next.offset = FindFrom(region_, kPatterns[marker], start_);
      next.searched = true;
    }
    if (next.offset == TextView::npos) return 0;
    return static_cast<int32_t>(next.offset - start_ + 1);
  }

  // The work text becomes the rest of itself from position index.
  void RestFrom(int32_t index) { start_ = region_.size() - RestFromView(View(), index).size(); }

 private:
  static constexpr std::array<TextView, kCount> kPatterns = {
      kLaterPostHeading, kLaterAuthorStart, kAuthorEnd, kHeadingEnd, kLaterPostStart, kPostEnd};
  struct Next {
    bool searched = false;
    std::size_t offset = 0;
  };

  TextView region_;
  std::size_t start_ = 0;
  std::array<Next, kCount> next_{};
};

// Appends a kept post: its text, the gap, the rule and the gap.
class Block {
 public:
  Block(std::size_t pageUnits, std::size_t headerUnits)
      : limit_(headerUnits + kBlockAllowance + kBlockUnitsPerPageUnit * pageUnits) {}

  Text& Units() { return units_; }

  // False, and nothing appended, when the post would pass the block's limit.
  bool AppendPost(TextView post) {
    constexpr std::size_t kSeparatorUnits = 2 * (std::size(kGap) - 1) + std::size(kRule) - 1;
    if (units_.size() + post.size() + kSeparatorUnits > limit_) return false;
    units_.append(post).append(kGap).append(kRule).append(kGap);
    return true;
  }

 private:
  std::size_t limit_;
  Text units_;
};

Text Header(const Text& author, const Text& title, const Text& caption) {
  return title + kGap + kAuthorLabel + author + kGap + kMadeByOpen + caption + kMadeByClose +
         kHomePageAddress + kUpdateNote + kGap;
}

// The posts after the first: each starts at a "<TABLE" heading, names its
// author after "_blank>" and has its text after the heading's "</table>".
void AppendLaterPosts(WorkText& work, const Text& author, Block& block) {
  while (work.Find(WorkText::Heading) > 0) {
    const int32_t b = work.Find(WorkText::LaterAuthor) + kLaterAuthorSkip;
    const int32_t c = work.Find(WorkText::AuthorEnd);
    const TextView name = Slice(work.View(), b, c - b);
    // A heading without "</table>" drops only the first 7 units: the loop
    // still ends, after more passes.
    work.RestFrom(work.Find(WorkText::HeadingEnd) + kHeadingEndLength);
    const int32_t t = work.Find(WorkText::LaterPost) + kLaterPostSkip;
    const int32_t j = work.Find(WorkText::PostEnd);
    const TextView text = Slice(work.View(), t, j - kPostEndLead - t);
    if (IsEqual(name, author) && !block.AppendPost(text)) return;
  }
}

}  // namespace

void GetAuthorTitle(TextView page, Text& author, Text& title) {
  const int32_t a = Find(kWindowStart, page);
  const int32_t i = Find(kWindowEnd, page);
  TextView window = Slice(page, a, i - a);
  author = QuotedValue(window);
  // The title is looked for inside the window only, never elsewhere in the page.
  window = RestFromView(window, Find(kTitleStart, window));
  title = QuotedValue(window);
}

Text GetFirstPost(TextView page) {
  const int32_t b = Find(kFirstPostStart, page) + kFirstPostSkip;
  const int32_t j = Find(kPostEnd, page);
  // Only the lower-case tag here; the filter takes the other spellings later.
  return RemoveAll(Slice(page, b, j - kPostEndLead - b), kLineBreakTag, false);
}

Text FilterStr(TextView text) {
  Text filtered = RemoveIgnoringCase(text, kLineBreakTag);
  filtered = RemoveIgnoringCase(filtered, kNoBreakSpace);
  return RemoveIgnoringCase(filtered, kSpace);
}

Text MakePageBlock(TextView page, TextView kind, const Text& caption) {
  Text author, title;
  GetAuthorTitle(page, author, title);
  const Text header = IsEqual(kind, kFirstPageKind) ? Header(author, title, caption) : Text();
  Block block(page.size(), header.size());
  block.Units() = header;

  const int32_t s = Find(kRegionStart, page);
  const int32_t e = Find(kRegionEnd, page);
  const TextView region = Slice(page, s, e - s);

  const int32_t b = Find(kFirstAuthorStart, region) + kFirstAuthorSkip;
  const int32_t c = Find(kAuthorEnd, region);
  const TextView firstAuthor = Slice(region, b, c - b);
  if (IsEqual(firstAuthor, author)) block.AppendPost(GetFirstPost(region));

  WorkText work(region);
  work.RestFrom(work.Find(WorkText::PostEnd));
  work.RestFrom(work.Find(WorkText::Heading));
  AppendLaterPosts(work, author, block);
  return FilterStr(block.Units());
}

}  // namespace velbrook
