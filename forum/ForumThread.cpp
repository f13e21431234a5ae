#include "forum/ForumThread.h"

#include "text/Encoding.h"

namespace velbrook {
namespace {

constexpr char16_t kNewLine[] = u"\r\n";
constexpr char16_t kPageSuffix[] = u".shtml";
// The generated posts repeat this sentence up to their size.
constexpr char16_t kFillerSentence[] = u"山路弯弯，溪水长流，炊烟从屋顶慢慢升起。";
constexpr char16_t kGeneratedAuthor[] = u"长帖作者";
constexpr char16_t kGeneratedGuest[] = u"过路人";
constexpr char16_t kGeneratedTitle[] = u"生成的长帖";
// Characters of filler text between two line breaks of a generated post.
constexpr std::size_t kGeneratedParagraphChars = 200;

Text Decimal(std::size_t value) { return FromUtf8(std::to_string(value)); }

// A stable user number for the profile links, so an author keeps one address.
std::size_t UserNumber(TextView author) {
  std::size_t number = 17;
  for (char16_t unit : author) number = (number * 31 + unit) % 100000;
  return number;
}

Text ProfileHref(TextView author) { return u"/browse/user/" + Decimal(UserNumber(author)); }

Text PagePathText(TextView name) { return Text(kThreadDirectory) + Text(name) + kPageSuffix; }

Text JoinedPageNames(const ForumThread& thread) {
  Text list;
  for (std::size_t i = 0; i < thread.pages.size(); ++i) {
    if (i > 0) list += u',';
    list += thread.pages[i].name;
  }
  return list;
}

std::size_t ReplyCount(const ForumThread& thread) {
  std::size_t posts = 0;
  for (const ForumPage& page : thread.pages) posts += page.posts.size();
  return posts > 0 ? posts - 1 : 0;
}

Text PageHead(const ForumThread& thread) {
  Text head = u"<html>\r\n<head>\r\n";
  head += u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n";
  head += u"<title>" + thread.title + u"_闲话家常_论坛</title>\r\n";
  head += u"<script>var chrAuthorName = \"" + thread.author + u"\"; var chrTitle = \"" +
          thread.title + u"\"; var chrItem = \"funinfo\";</script>\r\n";
  head += u"</head>\r\n<body>\r\n";
  head +=
      u"<div class=\"nav\"><a href=\"/\">首页</a> &gt; <a "
      u"href=\"/publicforum/funinfo/\">闲话家常</a></div>\r\n";
  return head;
}

Text Counters(const ForumThread& thread) {
  const std::size_t replies = ReplyCount(thread);
  return u"点击:" + Decimal(1000 + 37 * replies) + u" 回复:" + Decimal(replies);
}

// A thread of several pages: the "pages" span and the hidden page list.
Text SeveralPagesArea(const ForumThread& thread, std::size_t index) {
  const std::size_t count = thread.pages.size();
  Text area = Counters(thread) + u" <span class=\"pages\">共" + Decimal(count) + u"页 第" +
              Decimal(index + 1) + u"页";
  area += u" <a href=\"" + PagePathText(thread.pages.front().name) + u"\">首页</a>";
  if (index + 1 < count)
    area += u" <a href=\"" + PagePathText(thread.pages[index + 1].name) + u"\">下一页</a>";
  area += u"</span>\r\n";
  const Text list = thread.listText.empty() ? JoinedPageNames(thread) : thread.listText;
  // The list ends two units before "><input": the input closes with "/>.
  area +=
      u"<div id=\"idArticleslist\"><form action=\"\" method=\"get\">"
      u"<input type=\"hidden\" name=\"apn\" value=\"" +
      list + u"\"/><input type=\"hidden\" name=\"p\" value=\"" + Decimal(index + 1) +
      u"\"/></form></div>\r\n";
  return area;
}

// A thread of one page names nothing but its own full address.
Text OnePageArea(const ForumThread& thread, TextView siteAddress) {
  const Text address = Text(siteAddress) + PagePathText(thread.pages.front().name);
  return Counters(thread) + u" 本帖地址:<a href=\"" + address + u"\">" + address + u"</a>\r\n";
}

Text PaginationArea(const ForumThread& thread, std::size_t index, TextView siteAddress) {
  Text area = u"<!-- 开始点击数和分页链接 -->\r\n";
  area +=
      thread.pages.size() > 1 ? SeveralPagesArea(thread, index) : OnePageArea(thread, siteAddress);
  area += u"<!-- 结束点击数和分页链接 -->\r\n";
  return area;
}

// The report link sits inside the post's own div: the 12 units before
// "post-jb" are exactly <div class=".
Text PostBody(const ForumPost& post) {
  return u"<div class=\"post\">" + post.html + u"<div class=\"post-jb\">举报</div></div>\r\n";
}

Text FirstPost(const ForumPost& post) {
  return u"<div class=\"vcard\">作者:<a href=\"" + ProfileHref(post.author) +
         u"\" target=\"_blank\">" + post.author + u"</a> 提交日期:" + post.date + u"</div>\r\n" +
         PostBody(post);
}

Text LaterPost(const ForumPost& post) {
  return u"<TABLE width=\"100%\" border=\"0\" cellspacing=\"0\"><tr><td class=\"vcard\">作者:"
         u"<a href=\"" +
         ProfileHref(post.author) + u"\" target=_blank>" + post.author + u"</a> 回复日期:" +
         post.date + u"</td></tr></table>\r\n" + PostBody(post);
}

Text PostsRegion(const ForumPage& page) {
  Text region = u"<!-- 开始首贴作者和日期 -->\r\n";
  for (std::size_t i = 0; i < page.posts.size(); ++i)
    region += i == 0 ? FirstPost(page.posts[i]) : LaterPost(page.posts[i]);
  region += u"<!-- 结束贴子内容 -->\r\n";
  return region;
}

Text PageFoot() {
  return u"<div class=\"reply\"><form action=\"/publicforum/reply\" method=\"post\">"
         u"<textarea name=\"content\"></textarea><input type=\"submit\" value=\"回复\"/>"
         u"</form></div>\r\n</body>\r\n</html>\r\n";
}

Text FillerHtml(std::size_t chars, std::size_t seed) {
  const Text sentence = kFillerSentence;
  Text html;
  html.reserve(chars + chars / kGeneratedParagraphChars * 6 + sentence.size());
  std::size_t sinceBreak = 0;
  std::size_t offset = seed % sentence.size();
  while (html.size() < chars) {
    html += sentence[offset];
    offset = (offset + 1) % sentence.size();
    if (++sinceBreak == kGeneratedParagraphChars && html.size() < chars) {
      html += u"<br>\r\n";
      sinceBreak = 0;
    }
  }
  return html;
}

}  // namespace

std::string ThreadPagePath(TextView name) { return ToUtf8(PagePathText(name)); }

std::string SiteHost(TextView siteAddress) {
  const std::string address = ToAscii(siteAddress);
  const std::size_t afterScheme = address.find("://");
  return afterScheme == std::string::npos ? address : address.substr(afterScheme + 3);
}

Text NumberedPageName(TextView first, std::size_t number) {
  return number <= 1 ? Text(first) : Text(first) + u"-" + Decimal(number);
}

Text WriteThreadPage(const ForumThread& thread, std::size_t index, TextView siteAddress) {
  return WriteThreadPage(thread, index, thread.pages.at(index), siteAddress);
}

Text WriteThreadPage(const ForumThread& thread, std::size_t index, const ForumPage& page,
                     TextView siteAddress) {
  return PageHead(thread) + PaginationArea(thread, index, siteAddress) + PostsRegion(page) +
         PageFoot();
}

ForumThread GeneratedSkeleton(const GeneratedThread& shape) {
  ForumThread thread;
  thread.author = kGeneratedAuthor;
  thread.title = kGeneratedTitle;
  thread.pages.resize(shape.pageCount);
  for (std::size_t i = 0; i < shape.pageCount; ++i)
    thread.pages[i].name = NumberedPageName(shape.firstName, i + 1);
  return thread;
}

ForumPage GeneratedPage(const GeneratedThread& shape, std::size_t index) {
  ForumPage page;
  page.name = NumberedPageName(shape.firstName, index + 1);
  page.posts.reserve(shape.postsPerPage);
  for (std::size_t i = 0; i < shape.postsPerPage; ++i) {
    ForumPost post;
    post.author = i % 2 == 0 ? kGeneratedAuthor : kGeneratedGuest;
    post.date = u"2011-03-0" + Decimal(1 + index % 9);
    post.html = FillerHtml(shape.postChars, index * shape.postsPerPage + i);
    page.posts.push_back(std::move(post));
  }
  return page;
}

}  // namespace velbrook
