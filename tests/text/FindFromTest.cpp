// FindFrom, the search under every marker lookup: it looks at several
// offsets per step, so it is checked where steps begin and end, where the
// pattern's first and last units occur without the rest, and against the
// plain search on random texts over a small alphabet (many near misses).
#include <gtest/gtest.h>

#include <random>

#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"
#include "text/MarkerText.h"

namespace velbrook {
namespace {

struct FindFromCase {
  const char* name;
  Text text;
  Text pattern;
  size_t from;
  size_t expected;
};

class FindFromTest : public ::testing::TestWithParam<FindFromCase> {};

TEST_P(FindFromTest, GivesTheOffset) {
  const FindFromCase& c = GetParam();
  EXPECT_EQ(FindFrom(testing::ExactView(c.text), testing::ExactView(c.pattern), c.from),
            c.expected);
  EXPECT_EQ(FindFrom(c.text, c.pattern, c.from), TextView(c.text).find(c.pattern, c.from));
}

constexpr size_t npos = TextView::npos;

INSTANTIATE_TEST_SUITE_P(
    Edges, FindFromTest,
    ::testing::Values(
        FindFromCase{"EmptyTextEmptyPattern", u"", u"", 0, 0},
        FindFromCase{"EmptyPatternIsAtFrom", u"abc", u"", 2, 2},
        FindFromCase{"EmptyPatternPastTheEnd", u"abc", u"", 4, npos},
        FindFromCase{"PatternLongerThanText", u"ab", u"abc", 0, npos},
        FindFromCase{"FromPastTheEnd", u"abc", u"c", 7, npos},
        FindFromCase{"OneUnitAtTheStart", u"post-jb", u"p", 0, 0},
        FindFromCase{"AtTheVeryEnd", u"0123456789abcdefpost-jb", u"post-jb", 0, 16},
        FindFromCase{"FromSkipsAnEarlierOne", u"<TABLE x <TABLE", u"<TABLE", 1, 9},
        FindFromCase{"FirstAndLastUnitsWithoutTheMiddle", u"<TAXXE <TABLE", u"<TABLE", 0, 7},
        FindFromCase{"OverlappingCandidates", u"aaaaaaaaaaaaaaaaaaab", u"aab", 0, 17},
        FindFromCase{"InTheSecondStep", u"........<br>....", u"<br>", 0, 8},
        FindFromCase{"StraddlingTwoSteps", u"......<br>......", u"<br>", 0, 6},
        FindFromCase{"ChineseMarker", u"<!-- 开始首贴作者和日期 -->", u"开始首贴作者和日期", 0, 5},
        FindFromCase{"HighUnitsDoNotMatchLowOnes", Text(u"\uFF3CTABLE<TABLE"), u"<TABLE", 0, 6},
        FindFromCase{"ZeroUnitsAreOrdinary", Text(u"a\0b\0c", 5), Text(u"\0c", 2), 0, 3},
        FindFromCase{"Absent", u"<table></table>", u"<TABLE", 0, npos}),
    testing::RowName());

TEST(FindFromRandomTest, AgreesWithThePlainSearch) {
  std::mt19937 random(42);
  const Text alphabet = u"ab<\u5F00";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> textLength(0, 80);
  std::uniform_int_distribution<size_t> patternLength(1, 6);
  for (int round = 0; round < 20000; ++round) {
    Text text(textLength(random), u'a');
    for (char16_t& unit : text) unit = alphabet[pick(random)];
    Text pattern(patternLength(random), u'a');
    for (char16_t& unit : pattern) unit = alphabet[pick(random)];
    const size_t from = std::uniform_int_distribution<size_t>(0, text.size() + 1)(random);
    ASSERT_EQ(FindFrom(testing::ExactView(text), pattern, from), TextView(text).find(pattern, from))
        << "round " << round;
  }
}

TEST(FindFromRandomTest, FindKeepsItsPositionsAndEdges) {
  EXPECT_EQ(Find(u"post-jb", u"xx<div class=\"post-jb\">"), 15);
  EXPECT_EQ(Find(u"", u"abc"), 0);
  EXPECT_EQ(Find(u"abc", u""), 0);
  EXPECT_EQ(Find(u"zz", u"abcdefghijklmnopqrstuvwxyz"), 0);
}

}  // namespace
}  // namespace velbrook
