#pragma once
// Page extraction: the thread's author and title, the first post, the later
// posts in their heading tables, and the clean-up of the finished block. All
// of it is marker arithmetic over the text operations, so a page that lacks a
// marker, doubles it or has it out of order gives an empty or a wrong piece,
// never an error.
#include "text/MarkerText.h"

namespace velbrook {

// Writes the author and the title named in the page's script variables, an
// empty text where nothing is found.
void GetAuthorTitle(TextView page, Text& author, Text& title);
// The text of the first post found in page.
Text GetFirstPost(TextView page);
// text without "<br>", "&nbsp" and spaces, whatever their case.
Text FilterStr(TextView text);
// The page block of one page text: the header for kind "F" (naming caption),
// then the author's posts, each with its separator, filtered.
Text MakePageBlock(TextView page, TextView kind, const Text& caption);

}  // namespace velbrook
