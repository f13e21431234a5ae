#include "text/UpperCase.h"

#include <cstddef>

namespace velbrook {
namespace {

#include "text/UpperCaseTable.inc"

constexpr std::array<char16_t, 0x10000> UpperTable() {
  std::array<char16_t, 0x10000> table{};
  for (std::size_t unit = 0; unit < table.size(); ++unit) table[unit] = static_cast<char16_t>(unit);
  for (const UpperCaseRange& range : kUpperCaseRanges)
    for (unsigned unit = range.first; unit <= range.last; unit += range.step)
      table[unit] = static_cast<char16_t>(unit + range.delta);
  return table;
}

}  // namespace

// Built by the compiler: no start-up work, nothing to guard between threads.
constinit const std::array<char16_t, 0x10000> kUpperUnits = UpperTable();

}  // namespace velbrook
