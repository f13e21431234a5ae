// The page texts that the forum writes: every marker that the extraction
// looks for must stand where it looks, in every sample page.
#include <gtest/gtest.h>

#include <string>

#include "forum/ForumServer.h"
#include "forum/SampleThreads.h"
#include "tests/forum/ForumClient.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

const Text kSite = u"http://www.forum.example";

std::string Utf8(TextView text) { return ToUtf8(text); }

// The text after the first open (from start) up to the next close; nothing
// when either is missing.
std::optional<Text> Between(TextView text, TextView open, TextView close, std::size_t start = 0) {
  const std::size_t begin = text.find(open, start);
  if (begin == TextView::npos) return std::nullopt;
  const std::size_t end = text.find(close, begin + open.size());
  if (end == TextView::npos) return std::nullopt;
  return Text(text.substr(begin + open.size(), end - begin - open.size()));
}

std::size_t Count(TextView text, TextView pattern) {
  std::size_t count = 0;
  for (std::size_t at = text.find(pattern); at != TextView::npos; at = text.find(pattern, at + 1))
    ++count;
  return count;
}

struct SampleCase {
  const char* name;
  ForumThread (*make)();
  const char16_t* expectedList;  // nullptr: a thread of one page
};

const SampleCase kSamples[] = {
    {"serial", SerialThread, u"2273274,2273274-2,2273274-3,2273274-4"},
    {"one_page", OnePageThread, nullptr},
    {"unnamed_first", UnnamedFirstThread, u",2273290-2,2273290-3"},
};

class SamplePages : public ::testing::TestWithParam<SampleCase> {};

// The page texts as they come over the wire, decoded.
std::vector<Text> ServedPages(const ForumThread& thread) {
  ForumServer forum(kSite);
  AddSampleThreads(forum);
  forum.Start();
  testing::ForumClient client(forum.Port());
  std::vector<Text> pages;
  for (const ForumPage& page : thread.pages) {
    client.SendGet(ThreadPagePath(page.name));
    const std::optional<testing::RawResponse> response = client.ReadResponse();
    EXPECT_TRUE(response && response->status == 200) << ThreadPagePath(page.name);
    pages.push_back(response ? DecodeCp936(response->body) : Text());
  }
  return pages;
}

TEST_P(SamplePages, SurviveCodePage936Unchanged) {
  const ForumThread thread = GetParam().make();
  const std::vector<Text> served = ServedPages(thread);
  for (std::size_t i = 0; i < thread.pages.size(); ++i) {
    EXPECT_EQ(served[i], WriteThreadPage(thread, i, kSite)) << "page " << i;
    EXPECT_EQ(served[i].find(u'\uFFFD'), Text::npos);
  }
}

TEST_P(SamplePages, NameAuthorAndTitleInTheScriptVariables) {
  const ForumThread thread = GetParam().make();
  for (std::size_t i = 0; i < thread.pages.size(); ++i) {
    const Text page = WriteThreadPage(thread, i, kSite);
    const std::optional<Text> window = Between(page, u"chrAuthorName", u"chrItem");
    ASSERT_TRUE(window);
    EXPECT_EQ(Between(*window, u"\"", u"\";"), thread.author);
    const std::size_t titleAt = window->find(u"chrTitle");
    ASSERT_NE(titleAt, Text::npos);
    EXPECT_EQ(Between(*window, u"\"", u"\";", titleAt), thread.title);
  }
}

TEST_P(SamplePages, CarryThePageListOrTheirOwnAddress) {
  const ForumThread thread = GetParam().make();
  for (std::size_t i = 0; i < thread.pages.size(); ++i) {
    const Text page = WriteThreadPage(thread, i, kSite);
    const std::optional<Text> area =
        Between(page, u"开始点击数和分页链接", u"结束点击数和分页链接");
    ASSERT_TRUE(area) << "page " << i;
    if (GetParam().expectedList == nullptr) {
      EXPECT_EQ(area->find(u"pages"), Text::npos);
      const Text own = kSite + FromUtf8(ThreadPagePath(thread.pages[i].name));
      const std::size_t at = area->find(own);
      ASSERT_NE(at, Text::npos);
      // No "shtml" may stand before the page's own address.
      EXPECT_EQ(area->find(u"shtml"), at + own.size() - 5);
      continue;
    }
    EXPECT_NE(area->find(u"pages"), Text::npos);
    const std::size_t listAt = area->find(u"apn", area->find(u"idArticleslist"));
    ASSERT_NE(listAt, Text::npos);
    // The list starts 7 units after "value" and ends 2 units before "><input".
    const std::size_t value = area->find(u"value", listAt);
    const std::size_t input = area->find(u"><input", listAt);
    ASSERT_LT(value + 7, input);
    EXPECT_EQ(area->substr(value + 7, input - 2 - value - 7), GetParam().expectedList);
  }
}

TEST_P(SamplePages, PutEveryPostBetweenItsMarkers) {
  const ForumThread thread = GetParam().make();
  for (std::size_t i = 0; i < thread.pages.size(); ++i) {
    const ForumPage& source = thread.pages[i];
    const Text page = WriteThreadPage(thread, i, kSite);
    const std::optional<Text> region = Between(page, u"开始首贴作者和日期", u"结束贴子内容");
    ASSERT_TRUE(region);
    ASSERT_FALSE(source.posts.empty());
    // The first post: author after _blank"> and text after "post">.
    EXPECT_EQ(Between(*region, u"_blank\">", u"</a>"), source.posts[0].author);
    const std::size_t report = region->find(u"post-jb");
    ASSERT_NE(report, Text::npos);
    const std::size_t text = region->find(u"\"post\">") + 7;
    EXPECT_EQ(region->substr(text, report - 12 - text), source.posts[0].html);
    EXPECT_EQ(region->substr(report - 12, 12), u"<div class=\"");
    // Later posts: one upper-case heading table each, author after _blank>.
    EXPECT_EQ(Count(*region, u"<TABLE"), source.posts.size() - 1);
    std::size_t at = region->find(u"<TABLE");
    for (std::size_t p = 1; p < source.posts.size(); ++p) {
      ASSERT_NE(at, Text::npos);
      EXPECT_EQ(Between(*region, u"_blank>", u"</a>", at), source.posts[p].author);
      const std::size_t tableEnd = region->find(u"</table>", at) + 8;
      const std::size_t postAt = region->find(u"post\">", tableEnd) + 6;
      const std::size_t jb = region->find(u"post-jb", tableEnd);
      EXPECT_EQ(region->substr(postAt, jb - 12 - postAt), source.posts[p].html);
      at = region->find(u"<TABLE", tableEnd);
    }
  }
}

// A marker inside a post's own text would move the cut of the post after it.
TEST_P(SamplePages, KeepMarkersOutOfPostTexts) {
  const ForumThread thread = GetParam().make();
  const char16_t* markers[] = {u"</a>",    u"post-jb",      u"<TABLE",  u"</table>", u"_blank",
                               u"post\">", u"结束贴子内容", u"chrItem", u"\";"};
  for (const ForumPage& page : thread.pages)
    for (const ForumPost& post : page.posts)
      for (const char16_t* marker : markers)
        EXPECT_EQ(post.html.find(marker), Text::npos)
            << Utf8(post.html) << " holds " << Utf8(marker);
}

INSTANTIATE_TEST_SUITE_P(Forum, SamplePages, ::testing::ValuesIn(kSamples), testing::RowName());

TEST(SampleThreads, SerialThreadHasPostsByOthersAndAPageWithoutTheAuthor) {
  const ForumThread thread = SerialThread();
  ASSERT_GE(thread.pages.size(), 3u);
  EXPECT_EQ(thread.pages[0].name, kSerialThreadName);
  std::size_t others = 0;
  std::vector<std::size_t> byAuthor(thread.pages.size());
  for (std::size_t i = 0; i < thread.pages.size(); ++i)
    for (const ForumPost& post : thread.pages[i].posts)
      (post.author == thread.author ? byAuthor[i] : others) += 1;
  EXPECT_GT(others, 0u);
  EXPECT_NE(thread.pages[1].posts[0].author, thread.author);
  EXPECT_EQ(byAuthor[2], 0u);
}

TEST(SampleThreads, PostTextsHoldLineBreakMarkupAndSpaces) {
  Text all;
  for (const ForumPage& page : SerialThread().pages)
    for (const ForumPost& post : page.posts) all += post.html;
  EXPECT_NE(all.find(u"<br>"), Text::npos);
  EXPECT_NE(all.find(u"&nbsp;"), Text::npos);
}

TEST(PageNames, NumberTheLaterPagesOfAThread) {
  EXPECT_EQ(NumberedPageName(u"77", 1), u"77");
  EXPECT_EQ(NumberedPageName(u"77", 2), u"77-2");
  EXPECT_EQ(NumberedPageName(u"77", 500), u"77-500");
  EXPECT_EQ(ThreadPagePath(u"77-2"), "/publicforum/content/funinfo/1/77-2.shtml");
}

TEST(GeneratedThread, PagesHaveTheRequestedShape) {
  GeneratedThread shape;
  shape.firstName = u"555";
  shape.pageCount = 7;
  shape.postsPerPage = 6;
  shape.postChars = 1000;
  const ForumThread skeleton = GeneratedSkeleton(shape);
  ASSERT_EQ(skeleton.pages.size(), 7u);
  EXPECT_EQ(skeleton.pages.back().name, u"555-7");
  const ForumPage page = GeneratedPage(shape, 6);
  ASSERT_EQ(page.posts.size(), 6u);
  std::size_t byAuthor = 0;
  for (const ForumPost& post : page.posts) {
    EXPECT_GE(post.html.size(), shape.postChars);
    EXPECT_LT(post.html.size(), shape.postChars * 2);
    byAuthor += post.author == skeleton.author;
  }
  EXPECT_EQ(byAuthor, 3u);
  const Text text = WriteThreadPage(skeleton, 6, page, kSite);
  EXPECT_EQ(Between(text, u"value=\"", u"\"/><input", text.find(u"apn")),
            u"555,555-2,555-3,555-4,555-5,555-6,555-7");
}

}  // namespace
}  // namespace velbrook
