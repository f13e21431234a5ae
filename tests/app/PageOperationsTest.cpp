// The window keeps its page operations under their own names: each gives
// what the page rules give (tests/page holds the rules' own tests).
#include <gtest/gtest.h>

#include "app/MainUnit.h"

namespace velbrook {
namespace {

TEST(PageOperations, WindowOperationsAreThePageRules) {
  Text author, title;
  TfrmMain::GetAuthorTitle(u"chrAuthorName = \"甲\"; chrTitle = \"题\"; chrItem", author, title);
  EXPECT_EQ(author, u"甲");
  EXPECT_EQ(title, u"题");
  EXPECT_EQ(TfrmMain::GetFirstPost(u"<div class=\"post\">a<br>b<div class=\"post-jb\">"), u"ab");
  EXPECT_EQ(TfrmMain::FilterStr(u"a <BR>b&nbsp;"), u"ab;");
  EXPECT_EQ(TfrmMain::GetUrlBefore(u"http://h/a/1.shtml"), u"http://h/a/");
  TextList pages = {u"stale"};
  TfrmMain::GetPageName(
      u"开始点击数和分页链接 pages apn value=\"1,2\"/><input 结束点击数和分页链接", pages);
  EXPECT_EQ(pages, (TextList{u"1", u"2"}));
}

}  // namespace
}  // namespace velbrook
