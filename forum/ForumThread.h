#pragma once
// Threads of the demo forum and the page markup that the forum writes for
// them. A page carries the markers that the extraction looks for: the script
// variables, the pagination area with the hidden page list, the posts region
// with the first post and the later posts in their heading tables.
#include <cstddef>
#include <string>
#include <vector>

#include "text/MarkerText.h"

namespace velbrook {

// Every page of the demo forum lies in this directory.
inline constexpr char16_t kThreadDirectory[] = u"/publicforum/content/funinfo/1/";

struct ForumPost {
  Text author;
  Text date;  // shown in the post's heading only
  Text html;  // the post's text as it stands in the page ("<br>" and all)
};

struct ForumPage {
  Text name;                     // the page name: the page lives at ThreadPagePath(name)
  std::vector<ForumPost> posts;  // posts[0] is the page's first post
};

struct ForumThread {
  Text author;
  Text title;
  std::vector<ForumPage> pages;
  // The hidden page list as written into every page; empty: the page names
  // joined by commas. Lets a thread announce a list unlike its real pages.
  Text listText;
};

// A large thread for measurements: pageCount pages named first, first-2,
// first-3 ..., postsPerPage posts each of about postChars characters, every
// other post by the thread's author.
struct GeneratedThread {
  Text firstName = u"9000000";
  std::size_t pageCount = 500;
  std::size_t postsPerPage = 20;
  std::size_t postChars = 5000;
};

// "/publicforum/content/funinfo/1/" + name + ".shtml"
std::string ThreadPagePath(TextView name);
// The host of a scheme://host site address.
std::string SiteHost(TextView siteAddress);
// The page name of page number (from 1) of a thread whose first page is first.
Text NumberedPageName(TextView first, std::size_t number);

// The page text of thread.pages[index]. A thread of one page names only its
// own address (siteAddress + path) in its pagination area.
Text WriteThreadPage(const ForumThread& thread, std::size_t index, TextView siteAddress);
// The same with the posts of page instead of thread.pages[index].
Text WriteThreadPage(const ForumThread& thread, std::size_t index, const ForumPage& page,
                     TextView siteAddress);

// The thread description of a generated thread without its posts written out:
// pages[i].posts stays empty; GeneratedPage fills one page.
ForumThread GeneratedSkeleton(const GeneratedThread& shape);
ForumPage GeneratedPage(const GeneratedThread& shape, std::size_t index);

}  // namespace velbrook
