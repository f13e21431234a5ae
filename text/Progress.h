#pragma once
// The progress text of an extraction run, shown before each page is fetched.
#include <cstdint>

#include "text/MarkerText.h"

namespace velbrook {

// done / total * 100 in two-decimal formatting, computed in extended
// precision: the quotient first, then times 100. For every
// 1 <= done <= total <= 2000 it equals done*100/total rounded half up.
Text ProgressPercent(int32_t done, int32_t total);

// "当前进度:" percent "%,(" done "/" total ")".
Text ProgressText(int32_t done, int32_t total);

}  // namespace velbrook
