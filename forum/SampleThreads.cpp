#include "forum/SampleThreads.h"

#include <initializer_list>

#include "forum/ForumServer.h"

namespace velbrook {
namespace {

// Paragraphs as the forum writes them: "<br>" and a line break between them.
Text Paragraphs(std::initializer_list<const char16_t*> paragraphs) {
  Text html;
  for (const char16_t* paragraph : paragraphs) {
    if (!html.empty()) html += u"<br>\r\n";
    html += paragraph;
  }
  return html;
}

ForumPost Post(const char16_t* author, const char16_t* date, Text html) {
  return ForumPost{author, date, std::move(html)};
}

constexpr char16_t kSerialAuthor[] = u"山间小楼";

ForumPage SerialPage1() {
  ForumPage page{Text(kSerialThreadName), {}};
  page.posts.push_back(Post(
      kSerialAuthor, u"2010-10-01 08:12:40",
      Paragraphs({u"　　小时候住的老屋在河边，青砖灰瓦，门口有一棵很老的枣树。",
                  u"　　第一章　枣树",
                  u"　　每年秋天，枣子红了，奶奶就搬一把竹椅坐在树下，看我们几个孩子用竹竿打枣。"
                  u"枣子落在瓦上，咚咚地响，像有人在屋顶上走路。",
                  u"　　那时候我以为，老屋会一直在那里，奶奶也会一直坐在树下。"})));
  page.posts.push_back(
      Post(u"路人甲", u"2010-10-01 09:03:11", Text(u"沙发！楼主写得真好，想起了我家的老房子。")));
  page.posts.push_back(Post(
      kSerialAuthor, u"2010-10-01 21:40:05",
      Paragraphs({u"　　第二章　井",
                  u"　　院子东边有一口井，井沿被绳子磨出了一道道深沟。夏天，爷爷把西瓜放进竹篮，"
                  u"吊到井里，到了傍晚再提上来，切开的时候凉得冒气。",
                  u"　　井水很甜。&nbsp;&nbsp;后来镇上通了自来水，井就被一块石板盖住了。"})));
  page.posts.push_back(
      Post(u"青石板", u"2010-10-02 07:15:32", Text(u"井水冰西瓜，这个我也吃过！求更新。")));
  return page;
}

ForumPage SerialPage2() {
  ForumPage page{NumberedPageName(kSerialThreadName, 2), {}};
  page.posts.push_back(
      Post(u"听雨轩主", u"2010-10-03 10:20:00", Text(u"顶一下，等楼主的下一章。")));
  page.posts.push_back(
      Post(kSerialAuthor, u"2010-10-03 22:05:47",
           Paragraphs({u"　　第三章　灶台",
                       u"　　奶奶的灶台是用泥砌的，上面贴着一张褪了色的灶王爷像。冬天的早上，"
                       u"我总是缩在灶膛前烤火，看火苗舔着锅底。",
                       u"　　她说，灶里的火不能灭，灭了，家就冷了。"})));
  page.posts.push_back(Post(u"小满", u"2010-10-04 08:00:13", Text(u"看得眼睛发酸，楼主加油。")));
  page.posts.push_back(Post(kSerialAuthor, u"2010-10-05 23:30:09",
                            Text(u"　　第四章　搬家<BR>\r\n"
                                 u"　　十二岁那年，我们搬到了城里。走的那天下着小雨，奶奶站在门口，"
                                 u"手里攥着一把枣，一直没有松开。<br>\r\n"
                                 u"　　车开出很远，我回头看，枣树还在，老屋还在。")));
  return page;
}

ForumPage SerialPage3() {
  ForumPage page{NumberedPageName(kSerialThreadName, 3), {}};
  page.posts.push_back(
      Post(u"路人甲", u"2010-10-06 12:00:00", Text(u"楼主好几天没更新了，是不是忘了密码？")));
  page.posts.push_back(Post(u"青石板", u"2010-10-07 18:22:41", Text(u"帮楼主顶起来，别沉了。")));
  page.posts.push_back(
      Post(u"小满", u"2010-10-08 20:10:02", Text(u"每天都来看一眼，还没有更新。")));
  return page;
}

ForumPage SerialPage4() {
  ForumPage page{NumberedPageName(kSerialThreadName, 4), {}};
  page.posts.push_back(
      Post(kSerialAuthor, u"2010-10-10 21:00:00",
           Paragraphs({u"　　第五章　回去",
                       u"　　去年清明，我一个人回了一趟镇上。老屋已经拆了，原地盖起了一排新楼，"
                       u"只有那棵枣树被留了下来，围在一圈铁栏杆里。",
                       u"　　我在树下站了很久。风吹过来，叶子沙沙地响，好像奶奶在叫我回家吃饭。",
                       u"　　（全文完）"})));
  page.posts.push_back(Post(u"听雨轩主", u"2010-10-10 21:15:30", Text(u"完结撒花，谢谢楼主。")));
  page.posts.push_back(Post(kSerialAuthor, u"2010-10-11 09:45:18",
                            Paragraphs({u"　　后记：谢谢大家一路陪着看完。那棵枣树今年还结了果，"
                                        u"邻居寄来了一小袋，我留了几颗种在阳台的花盆里。"})));
  return page;
}

}  // namespace

ForumThread SerialThread() {
  ForumThread thread;
  thread.author = kSerialAuthor;
  thread.title = u"老屋旧事 连载";
  thread.pages = {SerialPage1(), SerialPage2(), SerialPage3(), SerialPage4()};
  return thread;
}

ForumThread OnePageThread() {
  constexpr char16_t kAuthor[] = u"面馆老板";
  ForumThread thread;
  thread.author = kAuthor;
  thread.title = u"一碗阳春面";
  ForumPage page{Text(kOnePageThreadName), {}};
  page.posts.push_back(
      Post(kAuthor, u"2011-01-15 06:30:00",
           Paragraphs({u"　　我的面馆开在巷子口，只卖一样东西：阳春面。",
                       u"　　清汤，细面，一把葱花，一勺猪油。每天早上五点生火，六点开门，"
                       u"卖完两百碗就关门。"})));
  page.posts.push_back(Post(u"食客阿福", u"2011-01-15 07:02:44", Text(u"老板，明天给我留一碗！")));
  page.posts.push_back(
      Post(kAuthor, u"2011-01-15 20:11:09",
           Paragraphs({u"　　有个老先生每天来吃，吃完总说一句：跟从前的味道一样。",
                       u"　　我没告诉他，这碗面的做法，就是从他当年的面摊上学来的。"})));
  thread.pages = {std::move(page)};
  return thread;
}

ForumThread UnnamedFirstThread() {
  constexpr char16_t kAuthor[] = u"夜航船";
  ForumThread thread;
  thread.author = kAuthor;
  thread.title = u"雨夜小记";
  thread.pages.push_back(
      ForumPage{Text(kUnnamedFirstThreadName),
                {Post(kAuthor, u"2012-06-01 23:00:00",
                      Text(u"　　这一页不在帖子的页码表里，脱水时不会被读到。"))}});
  thread.pages.push_back(
      ForumPage{NumberedPageName(kUnnamedFirstThreadName, 2),
                {Post(u"撑伞人", u"2012-06-02 00:10:00", Text(u"半夜还在写，楼主注意身体。")),
                 Post(kAuthor, u"2012-06-02 00:40:12",
                      Paragraphs({u"　　雨下了一整夜。楼下的路灯坏了一盏，",
                                  u"　　积水里只映着另一盏的光。"}))}});
  thread.pages.push_back(ForumPage{NumberedPageName(kUnnamedFirstThreadName, 3),
                                   {Post(kAuthor, u"2012-06-02 06:05:55",
                                         Text(u"　　天亮的时候，雨停了，窗台上落了一只麻雀。"))}});
  // The list text starts with a comma: the first page name is empty.
  thread.listText = u"," + thread.pages[1].name + u"," + thread.pages[2].name;
  return thread;
}

void AddSampleThreads(ForumServer& forum) {
  forum.AddThread(SerialThread());
  forum.AddThread(OnePageThread());
  forum.AddThread(UnnamedFirstThread());
  // One page goes out chunked, so that framing is exercised by the demo too.
  forum.SetChunked(ThreadPagePath(NumberedPageName(kSerialThreadName, 2)), true);
}

}  // namespace velbrook
