#pragma once
// The system's own words for an error, as the user's messages quote them.
#include <system_error>

#include "text/MarkerText.h"

namespace velbrook {

// The system's text for error (an errno value here, or a code of another
// category such as LookupCategory()), decoded from the encoding of the
// locale that the text was written in; a byte that does not decode becomes
// U+FFFD, so the C locale works too.
Text SystemErrorText(const std::error_code& error);

}  // namespace velbrook
