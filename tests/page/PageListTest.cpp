#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page/PageList.h"
#include "page/SiteAddresses.h"
#include "tests/support/ExactView.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

std::string U8(TextView text) { return ToUtf8(text); }

const Text kStart = u"开始点击数和分页链接";
const Text kEnd = u"结束点击数和分页链接";
const Text kFallbackStart = u"天涯百宝箱";
const Text kFallbackEnd = u"开始主贴内容";
const Text kThreadDir = kForumSiteAddress + u"/publicforum/content/funinfo/1/";

// A pagination block for several pages, written the way the forum writes it.
Text SeveralPagesBlock(const Text& names) {
  return u"点击:1024 <span class=\"pages\">共3页</span>\r\n<div id=\"idArticleslist\"><form>"
         u"<input type=\"hidden\" name=\"apn\" value=\"" +
         names + u"\"/><input type=\"hidden\" name=\"p\"/></form></div>";
}

Text OnePageBlock(const Text& name) {
  return u"点击:12 <a href=\"" + kThreadDir + name + u".shtml\">本页</a>";
}

TextList PagesOf(const Text& page) {
  TextList list = {u"stale entry"};
  GetPageName(testing::ExactView(page), list);
  return list;
}

TEST(GetUrlBefore, PrefixThroughTheLastSlash) {
  struct Case {
    Text address, prefix;
  };
  const std::vector<Case> cases = {
      {kThreadDir + u"2273274.shtml", kThreadDir},
      {u"no-slash.shtml", u""},
      {u"", u""},
      {u"http://h/a/", u"http://h/a/"},
      {u"/", u"/"},
      {u"http://h/a/1.shtml?from=x/y", u"http://h/a/1.shtml?from=x/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetUrlBefore(testing::ExactView(c.address)), c.prefix) << U8(c.address);
}

struct PageListCase {
  const char* what;
  Text page;
  TextList expected;
};

TEST(GetPageName, AreasAndTheirFallback) {
  const Text names = u"2273274,2273274-2,2273274-3";
  const TextList three = {u"2273274", u"2273274-2", u"2273274-3"};
  const std::vector<PageListCase> cases = {
      {"pagination area", u"<html>" + kStart + SeveralPagesBlock(names) + kEnd, three},
      {"fallback area", u"<p>" + kFallbackStart + SeveralPagesBlock(names) + kFallbackEnd, three},
      {"pagination area wins over the fallback",
       kFallbackStart + SeveralPagesBlock(u"9,8") + kFallbackEnd + kStart +
           SeveralPagesBlock(names) + kEnd,
       three},
      {"pagination start without end: empty area, fallback not used",
       kStart + SeveralPagesBlock(names) + kFallbackStart + SeveralPagesBlock(u"9") + kFallbackEnd,
       {u""}},
      {"end before start: empty area", kEnd + SeveralPagesBlock(names) + kStart, {u""}},
      {"no markers at all", SeveralPagesBlock(names), {u""}},
      {"fallback start without its end", kFallbackStart + SeveralPagesBlock(names), {u""}},
      {"only the fallback end: area from the first unit",
       u"x" + SeveralPagesBlock(names) + kFallbackEnd, three},
      {"only the fallback end, one page", OnePageBlock(u"77") + kFallbackEnd, {u"77"}},
      {"empty page text", u"", {u""}},
  };
  for (const auto& c : cases) EXPECT_EQ(PagesOf(c.page), c.expected) << c.what;
}

TEST(GetPageName, OnePage) {
  const std::vector<PageListCase> cases = {
      {"own address", kStart + OnePageBlock(u"2273274") + kEnd, {u"2273274"}},
      {"own address in the fallback area",
       kFallbackStart + OnePageBlock(u"55") + kFallbackEnd,
       {u"55"}},
      {"pages only at the area's first unit",
       u"pages " + OnePageBlock(u"9") + kFallbackEnd,
       {u"9"}},
      {"pages at the second unit means several pages",
       u" pages " + OnePageBlock(u"9") + u" idArticleslist apn value=\"4,5\"/><input" +
           kFallbackEnd,
       {u"4", u"5"}},
      {"no shtml: empty name", kStart + kForumSiteAddress + u"/a/1.html" + kEnd, {u""}},
      {"shtml before the site address: empty name",
       kStart + u"old.shtml " + OnePageBlock(u"3") + kEnd,
       {u""}},
      {"no site address: the address runs to the unit after shtml",
       kStart + u" see /a/b/6.shtml and more" + kEnd,
       {u"6"}},
      {"no site address, a slash right after shtml: empty name",
       kStart + u" see /a/b/6.shtml/x" + kEnd,
       {u""}},
      {"site address, a slash right after shtml: the name",
       kStart + u" " + kThreadDir + u"6.shtml/x" + kEnd,
       {u"6"}},
      {"first of two addresses", kStart + OnePageBlock(u"1") + OnePageBlock(u"2") + kEnd, {u"1"}},
      {"name without a dot before shtml: empty name",
       kStart + kThreadDir + u"7shtml" + kEnd,
       {u""}},
      {"empty name", kStart + kThreadDir + u".shtml" + kEnd, {u""}},
  };
  for (const auto& c : cases) EXPECT_EQ(PagesOf(c.page), c.expected) << c.what;
}

TEST(GetPageName, SeveralPages) {
  auto area = [](const Text& inside) { return kStart + u"<span class=\"pages\">" + inside + kEnd; };
  const std::vector<PageListCase> cases = {
      {"trailing comma and spaces",
       kStart + SeveralPagesBlock(u"1, 2,3,") + kEnd,
       {u"1", u"2", u"3", u""}},
      {"space inside a name", kStart + SeveralPagesBlock(u"12 3") + kEnd, {u"12", u"3"}},
      {"duplicates stay in order",
       kStart + SeveralPagesBlock(u"1,2,1,2") + kEnd,
       {u"1", u"2", u"1", u"2"}},
      {"leading comma", kStart + SeveralPagesBlock(u",2,3") + kEnd, {u"", u"2", u"3"}},
      {"two commas", kStart + SeveralPagesBlock(u"1,,3") + kEnd, {u"1", u"", u"3"}},
      {"value before apn is not the list",
       area(u"<input value=\"x,y\" idArticleslist name=\"apn\" value=\"5,6\"/><input"),
       {u"5", u"6"}},
      {"apn, value and ><input before idArticleslist are not the list",
       area(u"<input name=\"apn\" value=\"1,2\"/><input idArticleslist name=\"apn\" "
            u"value=\"5,6\"/><input"),
       {u"5", u"6"}},
      {"no idArticleslist: apn searched in the whole area",
       area(u"<input name=\"apn\" value=\"5,6\"/><input"),
       {u"5", u"6"}},
      {"no apn: first value after idArticleslist",
       area(u"idArticleslist value=\"5,6\"/><input"),
       {u"5", u"6"}},
      {"><input before value: empty list",
       area(u"idArticleslist<form><input type=\"hidden\"/><input name=\"apn\" value=\"5,6\"/>"),
       {}},
      {"no ><input: empty list", area(u"idArticleslist apn value=\"5,6\"/>"), {}},
      {"no value: list from the 7th unit of the rest",
       area(u"idArticleslist apn=\"\"12345,6\"/><input"),
       {u"12345", u"6"}},
      // The list starts at the blank before the quote, which is skipped; the quote
      // is never closed, so the rest is one item.
      {"value with spaces around =", area(u"apn value = \"5,6\"/><input"), {u"5,6"}},
      {"quoted name keeps its comma", area(u"apn value=\"\"a,b\",c\"/><input"), {u"a,b", u"c"}},
  };
  for (const auto& c : cases) EXPECT_EQ(PagesOf(c.page), c.expected) << c.what;
}

}  // namespace
}  // namespace velbrook
