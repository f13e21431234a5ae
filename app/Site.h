#pragma once
// The fixed values of the program: the forum it reads and its maker's home
// page (defined with the page rules), its window caption and application
// title. Each is defined in one place only.
#include "page/SiteAddresses.h"
#include "text/MarkerText.h"

namespace velbrook {

// The address box's initial text: a sample thread page.
inline const Text kSampleThreadAddress =
    kForumSiteAddress + u"/publicforum/content/funinfo/1/2273274.shtml";
inline const Text kWindowCaption = u"Velbrook1.0b";
// Used only as the caption of the default error box.
inline const Text kApplicationTitle = u"Velbrook - Pellam软件";
// Status panel 0: the maker's contact text.
inline const Text kMakerContact = u"作者:Pellam";

}  // namespace velbrook
