#pragma once
// The simple upper-case mapping of one UTF-16 code unit, as the case-blind
// searches (RemoveAll ignoring case, the page filter) compare by it.
#include <array>

namespace velbrook {

// The upper case of every code unit, read through UpperUnit. A unit whose
// mapping would leave the BMP or land on a surrogate keeps its value, so an
// upper-cased text is as long as the text.
extern const std::array<char16_t, 0x10000> kUpperUnits;

inline char16_t UpperUnit(char16_t unit) { return kUpperUnits[unit]; }

}  // namespace velbrook
