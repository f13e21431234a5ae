#pragma once
// The fixed values of the program: the forum it reads, its maker's home page,
// its window caption and application title. Each is defined here only.
#include "text/MarkerText.h"

namespace velbrook {

// scheme://host of the forum site, without a trailing slash.
inline const Text kForumSiteAddress = u"http://www.forum.example";
// The address box's initial text: a sample thread page.
inline const Text kSampleThreadAddress =
    kForumSiteAddress + u"/publicforum/content/funinfo/1/2273274.shtml";
// The maker's home page, opened by the popup menu and named in the page header.
inline const Text kHomePageAddress = u"http://www.pellam.example";
inline const Text kWindowCaption = u"Velbrook1.0b";
// Used only as the caption of the default error box.
inline const Text kApplicationTitle = u"Velbrook - Pellam软件";
// Status panel 0: the maker's contact text.
inline const Text kMakerContact = u"作者:Pellam";

}  // namespace velbrook
