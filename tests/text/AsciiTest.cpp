// Byte texts by ASCII rules: only A-Z and a-z have a letter case; the bytes
// next to them in the table, and every byte above 0x7F, are themselves.
#include "text/Ascii.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"

namespace velbrook::testing {
namespace {

struct AffixCase {
  const char* name;
  std::string text;
  std::string other;  // compared whole, as a prefix and as a suffix of text
  bool equals, starts, ends;
};

class AsciiCase : public ::testing::TestWithParam<AffixCase> {};

TEST_P(AsciiCase, ComparesIgnoringOnlyAsciiLetterCase) {
  const AffixCase& c = GetParam();
  EXPECT_EQ(EqualsIgnoringAsciiCase(ExactView(c.text), ExactView(c.other)), c.equals);
  EXPECT_EQ(StartsWithIgnoringAsciiCase(ExactView(c.text), ExactView(c.other)), c.starts);
  EXPECT_EQ(EndsWithIgnoringAsciiCase(ExactView(c.text), ExactView(c.other)), c.ends);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AsciiCase,
    ::testing::Values(
        AffixCase{"WholeTextInOtherCase", "Forum.Example", "fORUM.eXAMPLE", true, true, true},
        AffixCase{"FirstAndLastLetters", "AZaz", "azAZ", true, true, true},
        AffixCase{"BytesNextToTheLetters", "@[`{", "`{@[", false, false, false},
        AffixCase{"BytesAbove7F", "\xC9", "\xE9", false, false, false},
        AffixCase{"Prefix", "www.forum.example", "WWW.", false, true, false},
        AffixCase{"Suffix", "www.forum.example", ".FORUM.example", false, false, true},
        AffixCase{"LongerThanTheText", "a", "ab", false, false, false},
        AffixCase{"Empty", "abc", "", false, true, true}),
    RowName());

TEST(Ascii, LowerCaseAndTrims) {
  EXPECT_EQ(ToLowerAscii(ExactView("AZaz@[`{\xC9")), "azaz@[`{\xC9");
  const std::string padded = std::string("\0\x1F \t", 4) + "a b" + " \t\x7F";
  EXPECT_EQ(TrimControlsAndSpaces(ExactView(padded)), "a b \t\x7F");
  EXPECT_EQ(TrimSpacesAndTabs(ExactView(" \t\x01 a \t")), "\x01 a");
  EXPECT_EQ(TrimControlsAndSpaces(ExactView(" \r\n")), "");
}

}  // namespace
}  // namespace velbrook::testing
