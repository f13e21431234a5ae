#pragma once
// Names for the cases of parameter tables, made from each row's own data, so
// that gtest and ctest list them readably and alike on every build.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace velbrook::testing {

// text as part of a test name: ASCII letters and digits as they are, each run
// of other characters one "_" (none at either end), at most 48 long.
template <class Text>
std::string CaseNamePart(const Text& text) {
  std::string part;
  bool gap = false;
  for (const auto c : std::basic_string_view(text)) {
    if (part.size() >= 48) break;
    const bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (kept && gap) part += '_';
    if (kept) part += static_cast<char>(c);
    gap = !kept && !part.empty();
  }
  return part;
}

// Names each case after its row's `name`.
struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return CaseNamePart(info.param.name);
  }
};

// For tables whose rows are texts alone: the row's place and its text, as
// texts may differ only in blanks and punctuation.
template <class Text>
std::string NumberedCase(std::size_t index, const Text& text) {
  const std::string part = CaseNamePart(text);
  return std::to_string(index) + (part.empty() ? "" : "_" + part);
}

}  // namespace velbrook::testing
