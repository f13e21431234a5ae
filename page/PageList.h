#pragma once
// Page list discovery: the page names of a thread from the pagination area of
// any of its pages, and the address prefix that the page names are joined to.
#include "text/MarkerText.h"

namespace velbrook {

// The address up to and including its last "/"; empty without one.
Text GetUrlBefore(TextView address);
// Empties names and fills it with the page names of the thread that page
// belongs to, in order.
void GetPageName(TextView page, TextList& names);

}  // namespace velbrook
