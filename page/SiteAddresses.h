#pragma once
// The fixed addresses that the page rules read and write: the forum whose
// pages they cut apart, and the maker's home page that a page header names.
#include "text/MarkerText.h"

namespace velbrook {

// scheme://host of the forum site, without a trailing slash.
inline const Text kForumSiteAddress = u"http://www.forum.example";
// The maker's home page, opened by the popup menu and named in the page header.
inline const Text kHomePageAddress = u"http://www.pellam.example";

}  // namespace velbrook
