// Page extraction without the network: author and title, the first post, the
// filter, and whole page blocks for every missing, doubled or misplaced marker.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "page/Extraction.h"
#include "page/SiteAddresses.h"
#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

using testing::ExactView;

std::string U8(TextView text) { return ToUtf8(text); }

const Text kSeparator = u"\r\n\r\n" + Text(68, u'-') + u"\r\n\r\n";
const Text kCaption = u"Velbrook1.0b";

Text Script(const Text& author, const Text& title) {
  return u"<script>var chrAuthorName = \"" + author + u"\"; var chrTitle = \"" + title +
         u"\"; var chrItem = \"funinfo\";</script>\r\n";
}
Text Region(const Text& posts) {
  return u"<!-- 开始首贴作者和日期 -->\r\n" + posts + u"<!-- 结束贴子内容 -->\r\n<div>页脚</div>";
}
Text Body(const Text& html) {
  return u"<div class=\"post\">" + html + u"<div class=\"post-jb\">举报</div></div>\r\n";
}
Text FirstPost(const Text& author, const Text& html) {
  return u"作者:<a href=\"/user/1\" target=\"_blank\">" + author + u"</a> 日期:2010-10-01\r\n" +
         Body(html);
}
Text LaterPost(const Text& author, const Text& html) {
  return u"<TABLE width=\"100%\"><tr><td>作者:<a href=\"/user/2\" target=_blank>" + author +
         u"</a> 回复日期:2010-10-02</td></tr></table>\r\n" + Body(html);
}
Text Header(const Text& title, const Text& author, const Text& caption = kCaption) {
  return title + u"\r\n\r\n作者:" + author + u"\r\n\r\n本文章由[" + caption + u"]生成,欢迎访问" +
         kHomePageAddress + u",更新您的程序.\r\n\r\n";
}

// The page of the layout sketch: two posts by the author, one by another user.
const Text kAuthor = u"山间小楼";
const Text kSketchPage =
    Script(kAuthor, u"老屋旧事 连载") +
    Region(FirstPost(kAuthor, u"第一段<br>第二段&nbsp;") + LaterPost(u"路人甲", u"沙发!") +
           LaterPost(kAuthor, u"接着写<br>下一章"));
const Text kSketchPosts = u"第一段第二段;" + kSeparator + u"接着写下一章" + kSeparator;
const Text kSketchHeader = Header(u"老屋旧事连载", kAuthor);

// --- GetAuthorTitle ---

struct AuthorTitleCase {
  const char* what;
  Text page;
  Text author;
  Text title;
};

TEST(GetAuthorTitle, WindowAndQuotedValues) {
  const std::vector<AuthorTitleCase> cases = {
      {"Plain", Script(u"作者甲", u"标题"), u"作者甲", u"标题"},
      {"NoMarkers", u"<p>\"x\"; nothing here</p>", u"", u""},
      {"ItemBeforeAuthorName", u"chrItem = 1; chrAuthorName = \"A\"; chrTitle = \"T\";", u"", u""},
      {"OnlyAuthorName", u"chrAuthorName = \"A\"; chrTitle = \"T\";", u"", u""},
      // From the page's first unit up to and including the "c" of "chrItem".
      {"OnlyItem", u"x = \"Q\"; chrTitle = \"T\"; chrItem", u"Q", u"T"},
      {"OnlyItemQuoteRightBeforeIt", u"\"Q\";chrItem", u"Q", u"Q"},
      {"NoQuoteSemicolon", u"chrAuthorName = \"A\" chrTitle = \"T\" chrItem", u"", u""},
      {"NoTitleGivesAuthor", u"chrAuthorName = \"A\"; chrItem", u"A", u"A"},
      {"TitleOutsideWindowIgnored", u"chrAuthorName = \"A\"; chrItem; chrTitle = \"T\";", u"A",
       u"A"},
      {"AuthorRunsToFirstQuoteSemicolon", u"chrAuthorName = \"A\", chrTitle = \"T\"; chrItem",
       u"A\", chrTitle = \"T", u"T"},
      {"FirstOfDoubledMarkers", Script(u"甲", u"一") + Script(u"乙", u"二"), u"甲", u"一"},
      {"EmptyValues", Script(u"", u""), u"", u""},
  };
  for (const auto& c : cases) {
    Text author = u"stale", title = u"stale";
    GetAuthorTitle(ExactView(c.page), author, title);
    EXPECT_EQ(U8(author), U8(c.author)) << c.what;
    EXPECT_EQ(U8(title), U8(c.title)) << c.what;
  }
}

// --- GetFirstPost ---

struct FirstPostCase {
  const char* what;
  Text text;
  Text post;
};

TEST(GetFirstPost, BetweenPostAndTwelveBeforeReport) {
  const std::vector<FirstPostCase> cases = {
      {"LowerCaseBreakOnly", Body(u"a<br>b<BR>c<Br>d"), u"ab<BR>c<Br>d"},
      {"JoinedBreakStays", Body(u"<b<br>r>"), u"<br>"},
      {"NoReport", u"<div class=\"post\">text without end", u""},
      // Without "post">, the text starts at position 7.
      {"NoPostMarker", u"0123456789<div class=\"post-jb\">", u"6789"},
      {"TwelveUnitsBeforeReportNotPart", u"\"post\">abc123456789012post-jb", u"abc"},
      {"ReportBeforePost", u"<div class=\"post-jb\"><div class=\"post\">late", u""},
      {"FirstOfTwoPosts", Body(u"一") + Body(u"二"), u"一"},
      {"Empty", u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(GetFirstPost(ExactView(c.text))), U8(c.post)) << c.what;
}

// --- FilterStr ---

TEST(FilterStr, ThreePassesInOrderIgnoringCase) {
  const std::vector<FirstPostCase> cases = {
      {"BreaksAnyCase", u"A<BR>b<br>c<Br>", u"Abc"},
      {"NbspLeavesSemicolon", u"&nbsp;&nbsp;", u";;"},
      {"NbspAnyCase", u"&NBSP;x&NbSp", u";x"},
      {"SpacedBreakLosesSpaces", u"a<br >b<br />c", u"a<br>b<br/>c"},
      {"SpacedNbsp", u"&nb sp", u"&nbsp"},
      {"BreakRemovedBeforeNbsp", u"&nb<br>sp;", u";"},
      {"JoinedBreak", u"<b<br>r>", u"<br>"},
      {"OtherWhiteSpaceStays", u"a\tb\r\n\u3000c d\u00A0e", u"a\tb\r\n\u3000cd\u00A0e"},
      {"Empty", u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(FilterStr(ExactView(c.text))), U8(c.post)) << c.what;
}

// Every code unit in every place of every pattern: the filter removes exactly
// what three RemoveAll passes ignoring case remove.
TEST(FilterStr, SameAsRemoveAllForEveryCodeUnit) {
  const std::vector<Text> patterns = {u"<br>", u"&nbsp", u" "};
  Text text;
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    for (const Text& pattern : patterns) {
      for (std::size_t k = 0; k < pattern.size(); ++k) {
        Text variant = pattern;
        variant[k] = static_cast<char16_t>(unit);
        text += variant + u"|";
      }
    }
  }
  const Text expected =
      RemoveAll(RemoveAll(RemoveAll(text, u"<br>", true), u"&nbsp", true), u" ", true);
  EXPECT_EQ(FilterStr(text), expected);
}

// --- MakePageBlock ---

struct BlockCase {
  const char* name;
  Text page;
  Text kind;
  Text block;
};

class PageBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(PageBlock, IsExactly) {
  const BlockCase& c = GetParam();
  EXPECT_EQ(U8(MakePageBlock(ExactView(c.page), ExactView(c.kind), kCaption)), U8(c.block));
}

// Pages with no author stated whose posts name no author either.
const Text kAnonymousPosts =
    Region(Body(u"one") + u"<TABLE></table>" + Body(u"two") + u"<TABLE></table>" + Body(u"three"));
// A work text of headings without "</table>": each pass drops 7 units.
Text HeadingsWithoutEnd(int count) {
  Text chunks;
  for (int i = 0; i < count; ++i) chunks += u"<TABLEx";
  return Region(chunks);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PageBlock,
    ::testing::Values(
        BlockCase{"SketchFirstPage", kSketchPage, u"F", kSketchHeader + kSketchPosts},
        BlockCase{"SketchLaterPage", kSketchPage, u"S", kSketchPosts},
        BlockCase{"LowerCaseKindGetsNoHeader", kSketchPage, u"f", kSketchPosts},
        BlockCase{"EmptyKindGetsNoHeader", kSketchPage, u"", kSketchPosts},
        BlockCase{"DoubledKindGetsNoHeader", kSketchPage, u"FF", kSketchPosts},
        BlockCase{"LaterPageWithoutAuthorPosts",
                  Script(kAuthor, u"T") + Region(FirstPost(u"甲", u"x") + LaterPost(u"乙", u"y")),
                  u"S", u""},
        BlockCase{"FirstPageWithoutAuthorPostsIsHeader",
                  Script(kAuthor, u"T") + Region(FirstPost(u"甲", u"x")), u"F",
                  Header(u"T", kAuthor)},
        BlockCase{"EmptyLaterPostGivesSeparatorAlone",
                  Script(u"A", u"T") + Region(FirstPost(u"B", u"x") + LaterPost(u"A", u"")), u"S",
                  kSeparator},
        BlockCase{"EmptyFirstPostGivesSeparatorAlone",
                  Script(u"A", u"T") + Region(FirstPost(u"A", u"")), u"S", kSeparator},
        // Only the first post removes the lower-case tag before the filter.
        BlockCase{"JoinedBreakInFirstPost",
                  Script(u"A", u"T") + Region(FirstPost(u"A", u"<b<br>r>")), u"S", kSeparator},
        BlockCase{"JoinedBreakInLaterPost",
                  Script(u"A", u"T") + Region(FirstPost(u"B", u"x") + LaterPost(u"A", u"<b<br>r>")),
                  u"S", u"<br>" + kSeparator},
        BlockCase{"EmptyAuthorTakesEveryPost", kAnonymousPosts, u"S",
                  u"one" + kSeparator + u"two" + kSeparator + u"three" + kSeparator},
        BlockCase{
            "EmptyAuthorOnFirstPage", kAnonymousPosts, u"F",
            Header(u"", u"") + u"one" + kSeparator + u"two" + kSeparator + u"three" + kSeparator},
        // The first post (found nowhere, empty) and five passes of 7 units.
        BlockCase{"HeadingsWithoutEndStillEnd", HeadingsWithoutEnd(5), u"S",
                  kSeparator + kSeparator + kSeparator + kSeparator + kSeparator + kSeparator},
        BlockCase{"LowerCaseTableStartsNoPass",
                  Script(u"A", u"T") +
                      Region(FirstPost(u"B", u"x") +
                             u"<table><td>target=_blank>A</a></td></table>" + Body(u"hidden")),
                  u"S", u""},
        // The heading of B ends at the lower-case "</table>" only: A's heading
        // then lies inside the skipped part and no pass reads A's name.
        BlockCase{
            "UpperCaseTableEndEndsNoPass",
            Script(u"A", u"T") +
                Region(FirstPost(u"B", u"x") +
                       u"<TABLE _blank>B</a></TABLE><TABLE _blank>A</a></table>" + Body(u"p")),
            u"S", u""},
        // A later post's name comes from the first "_blank>" after the
        // previous post's "</table>", here inside the previous post's text.
        BlockCase{"NameFromPreviousPostText",
                  Script(u"A", u"T") +
                      Region(FirstPost(u"B", u"x") + LaterPost(u"B", u"see_blank>A</a>") +
                             LaterPost(u"C", u"c-text")),
                  u"S", u"c-text" + kSeparator},
        BlockCase{"NoRegionStartReadsFromPageStart",
                  Script(u"A", u"T") + FirstPost(u"A", u"x") + LaterPost(u"A", u"y") +
                      u"结束贴子内容" + LaterPost(u"A", u"after"),
                  u"S", u"x" + kSeparator + u"y" + kSeparator},
        BlockCase{"NoRegionEndIsEmpty",
                  Script(u"A", u"T") + u"开始首贴作者和日期" + FirstPost(u"A", u"x") +
                      LaterPost(u"A", u"y"),
                  u"F", Header(u"T", u"A")},
        BlockCase{
            "RegionEndBeforeStartIsEmpty",
            Script(u"A", u"T") + u"结束贴子内容" + u"开始首贴作者和日期" + FirstPost(u"A", u"x"),
            u"S", u""},
        // An empty region with no author: one empty post and its separator.
        BlockCase{"NoRegionEndNoAuthor", u"开始首贴作者和日期" + FirstPost(u"A", u"x"), u"F",
                  Header(u"", u"") + kSeparator},
        BlockCase{"NoReportGivesEmptyPostText",
                  Script(u"A", u"T") + Region(u"target=\"_blank\">A</a><div class=\"post\">lost"),
                  u"S", kSeparator},
        BlockCase{"FirstPostNeedsQuotedBlank",
                  Script(u"A", u"T") +
                      Region(u"target=_blank>A</a>" + Body(u"x") + LaterPost(u"A", u"y")),
                  u"S", u"y" + kSeparator},
        BlockCase{"FilterReachesHeader",
                  Script(u"A&nbsp;B", u"T <BR>U") + Region(FirstPost(u"甲", u"x")), u"F",
                  Header(u"TU", u"A;B")},
        BlockCase{"EmptyPage", u"", u"S", kSeparator},
        BlockCase{"EmptyPageFirst", u"", u"F", Header(u"", u"") + kSeparator}),
    testing::RowName());

TEST(MakePageBlock, NamesTheCaptionItIsGiven) {
  EXPECT_EQ(U8(MakePageBlock(kSketchPage, u"F", u"Other Caption")),
            U8(Header(u"老屋旧事连载", kAuthor, u"OtherCaption") + kSketchPosts));
}

// The most units a block of page may hold: 16 for each unit of the page and 4096.
size_t BlockLimit(const Text& page) { return 16 * page.size() + 4096; }

// The copy rules applied literally: the work text is copied down at every
// step. The extraction must give the same block on any page.
Text LiteralBlock(const Text& page, const Text& kind) {
  Text author, title;
  GetAuthorTitle(page, author, title);
  Text result;
  if (kind == u"F") result = Header(title, author);
  Text work = page;
  const int32_t s = Find(u"开始首贴作者和日期", work);
  work = Copy(work, s, Find(u"结束贴子内容", work) - s);
  int32_t b = Find(u"_blank\">", work) + 8;
  const Text firstName = Copy(work, b, Find(u"</a>", work) - b);
  if (firstName == author) result += GetFirstPost(work) + kSeparator;
  work = RestFrom(work, Find(u"post-jb", work));
  work = RestFrom(work, Find(u"<TABLE", work));
  while (Find(u"<TABLE", work) > 0) {
    b = Find(u"_blank>", work) + 7;
    const Text name = Copy(work, b, Find(u"</a>", work) - b);
    work = RestFrom(work, Find(u"</table>", work) + 8);
    b = Find(u"post\">", work) + 6;
    const Text text = Copy(work, b, Find(u"post-jb", work) - 12 - b);
    if (name == author) result += text + kSeparator;
  }
  return FilterStr(result);
}

TEST(MakePageBlock, SameAsLiteralCopiesOnScrambledPages) {
  const std::vector<Text> pieces = {u"开始首贴作者和日期",
                                    u"结束贴子内容",
                                    u"_blank\">",
                                    u"_blank>",
                                    u"</a>",
                                    u"\"post\">",
                                    u"post\">",
                                    u"post-jb",
                                    u"<TABLE",
                                    u"</table>",
                                    u"<table",
                                    u"</TABLE>",
                                    u"A",
                                    u"B",
                                    u"x",
                                    u" ",
                                    u"<br>",
                                    u"<BR>",
                                    u"&nbsp;",
                                    u"<div class=\"",
                                    u"chrAuthorName=\"A\";",
                                    u"chrTitle=\"T\";",
                                    u"chrItem",
                                    u"\r\n",
                                    u"y123456789"};
  std::mt19937 random(20101001);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 60);
  int compared = 0;
  for (int round = 0; round < 3000; ++round) {
    Text page;
    for (int n = length(random); n > 0; --n) page += pieces[pick(random)];
    const Text kind = round % 2 == 0 ? u"F" : u"S";
    const Text literal = LiteralBlock(page, kind);
    // Blocks past the bound of OverlappingPostTextsStayBounded are cut there.
    if (literal.size() > BlockLimit(page)) continue;
    ++compared;
    ASSERT_EQ(U8(MakePageBlock(page, kind, kCaption)), U8(literal)) << "page: " << U8(page);
  }
  EXPECT_GT(compared, 2900);
}

TEST(MakePageBlock, ManyPostsKeepEveryAuthorPostInOrder) {
  Text posts = FirstPost(u"A", u"p0");
  Text expected = u"p0" + kSeparator;
  for (int i = 1; i < 4000; ++i) {
    const Text text = u"p" + DecimalDigits(i);
    posts += LaterPost(i % 3 == 0 ? u"B" : u"A", text);
    if (i % 3 != 0) expected += text + kSeparator;
  }
  EXPECT_EQ(MakePageBlock(Script(u"A", u"T") + Region(posts), u"S", kCaption), expected);
}

// Headings without "</table>" make every pass copy the same long post text
// again: the block stops growing at a bound linear in the page, at a post's
// end, instead of needing memory quadratic in the page.
TEST(MakePageBlock, OverlappingPostTextsStayBounded) {
  Text headings;
  for (int i = 0; i < 5000; ++i) headings += u"<TABLE_blank>A</a>";
  const Text page =
      Script(u"A", u"T") + Region(FirstPost(u"B", u"x") + u"<TABLE_blank>A</a>post\">" + headings +
                                  Text(20000, u'x') + u"<div class=\"post-jb\">");
  const Text block = MakePageBlock(page, u"S", kCaption);
  EXPECT_LE(block.size(), BlockLimit(page));
  // Far more than one copy of the long text, each ending in its separator.
  EXPECT_GT(block.size(), 8 * page.size());
  ASSERT_GE(block.size(), kSeparator.size());
  EXPECT_EQ(block.substr(block.size() - kSeparator.size()), kSeparator);
  const Text firstPass = headings + Text(20000, u'x') + kSeparator;
  EXPECT_EQ(block.substr(0, firstPass.size()), firstPass);
}

// The first post that the bound refuses ends the block: no shorter post of a
// later pass follows, so the block is the start of the unbounded one, no hole in it.
TEST(MakePageBlock, PostRefusedByTheBoundEndsTheBlock) {
  Text headings;
  for (int i = 0; i < 100; ++i) headings += u"<TABLE_blank>A</a>";
  const Text page =
      Script(u"A", u"T") + Region(FirstPost(u"B", u"x") + u"<TABLE_blank>A</a>post\">" + headings +
                                  u"<div class=\"post-jb\">");
  const Text block = MakePageBlock(page, u"S", kCaption);
  const Text unbounded = LiteralBlock(page, u"S");
  ASSERT_LT(block.size(), unbounded.size());
  EXPECT_EQ(block, unbounded.substr(0, block.size()));
}

// Headings of 7 units without "</table>" before one "_blank>A</a>": each pass
// drops one heading, so the posts are ever shorter tails of the same text,
// 7 units apart. Units after the posts region lengthen the page alone, and
// with it the bound, until the bound falls where a row wants it.
struct BoundCase {
  const char* name;
  size_t post;     // the post, counted from 1, whose end the bound is set against
  size_t pastEnd;  // how many units that end lies past the bound
  size_t kept;     // the posts that the block holds
};

class BlockBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(BlockBound, TakesThePostThatReachesItAndNoneThatPassesIt) {
  constexpr size_t kHeadings = 90;
  Text headings;
  for (size_t i = 0; i < kHeadings; ++i) headings += u"<TABLEx";
  const Text tail = headings.substr(7) + u"_blank>A</a>";
  Text page = Script(u"A", u"T") +
              Region(FirstPost(u"B", u"x") + headings + u"_blank>A</a><div class=\"post-jb\">");
  std::vector<Text> posts;
  for (size_t left = kHeadings; left > 0; --left)
    posts.push_back(tail.substr(tail.size() - 7 * left) + kSeparator);
  size_t end = 0;
  for (size_t i = 0; i < GetParam().post; ++i) end += posts[i].size();
  const size_t padding = (end - GetParam().pastEnd - BlockLimit(u"")) / 16 - page.size();
  page += Text(padding, u'z');
  ASSERT_EQ(BlockLimit(page), end - GetParam().pastEnd);
  Text expected;
  for (size_t i = 0; i < GetParam().kept; ++i) expected += posts[i];
  EXPECT_EQ(MakePageBlock(page, u"S", kCaption), expected);
}

INSTANTIATE_TEST_SUITE_P(Edges, BlockBound,
                         ::testing::Values(BoundCase{"PostEndsAtTheBound", 32, 0, 32},
                                           BoundCase{"PostEndsOneUnitPastTheBound", 35, 1, 34}),
                         testing::RowName());

}  // namespace
}  // namespace velbrook
