#include "text/MarkerText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ExactView.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

using testing::ExactView;

std::string U8(TextView text) { return ToUtf8(text); }

// --- Find ---

struct FindCase {
  Text pattern;
  Text text;
  int32_t expected;
};

TEST(Find, TableOfEdges) {
  const Text withNul = Text(u"ab") + u'\0' + u"cd";
  const std::vector<FindCase> cases = {
      {u"", u"abc", 0},     {u"a", u"", 0},
      {u"", u"", 0},        {u"post", u"a post, a post", 3},
      {u"abc", u"abc", 1},  {u"c", u"abc", 3},
      {u"abcd", u"abc", 0}, {u"<TABLE", u"<table><TABLE", 8},
      {u"cd", withNul, 4},  {Text(1, u'\0'), withNul, 3},
      {u"bc", withNul, 0},  {u"结束", u"开始结束", 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Find(ExactView(c.pattern), ExactView(c.text)), c.expected)
        << U8(c.pattern) << " in " << U8(c.text);
}

TEST(Find, LastOccurrence) {
  EXPECT_EQ(FindLast(u"/", u"http://h/a/b.shtml"), 11);
  EXPECT_EQ(FindLast(u"/", u"abc"), 0);
  EXPECT_EQ(FindLast(u"", u"abc"), 0);
  EXPECT_EQ(FindLast(u"ab", u"abab"), 3);
}

TEST(Find, LargeTextFindsMarkerNearTheEnd) {
  Text big(3'000'000, u'x');
  big += u"post-jb";
  EXPECT_EQ(Find(u"post-jb", big), 3'000'001);
}

// --- Copy and the rest ---

struct CopyCase {
  int32_t index;
  int32_t count;
  Text expected;
};

TEST(Copy, ClampsStartAndCount) {
  const auto text = ExactView(u"abcdef");
  const std::vector<CopyCase> cases = {
      {0, 3, u"abc"},
      {-5, 3, u"abc"},
      {1, 3, u"abc"},
      {4, 100, u"def"},
      {7, 1, u""},
      {100, 1, u""},
      {2, -1, u""},
      {2, 0, u""},
      {6, 1, u"f"},
      {0, kToTheEnd, u"abcdef"},
      {3, kToTheEnd, u"cdef"},
      {-2147483647 - 1, 2, u"ab"},
      {2147483647, kToTheEnd, u""},
      {1, -2147483647 - 1, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Copy(text, c.index, c.count), c.expected) << c.index << "," << c.count;
    EXPECT_EQ(Slice(text, c.index, c.count), TextView(c.expected)) << c.index << "," << c.count;
  }
}

TEST(Copy, EmptyTextAlwaysGivesEmpty) {
  for (int32_t index : {-1, 0, 1, 2})
    for (int32_t count : {-1, 0, 1, kToTheEnd}) EXPECT_TRUE(Copy(u"", index, count).empty());
}

TEST(Copy, RestFromPosition) {
  EXPECT_EQ(RestFrom(u"abcdef", 0), u"abcdef");
  EXPECT_EQ(RestFrom(u"abcdef", -9), u"abcdef");
  EXPECT_EQ(RestFrom(u"abcdef", 3), u"cdef");
  EXPECT_EQ(RestFrom(u"abcdef", 7), u"");
  EXPECT_EQ(RestFromView(u"abcdef", 6), TextView(u"f"));
}

TEST(Copy, SliceIsAViewIntoTheText) {
  const Text text = u"abcdef";
  const TextView view = Slice(text, 2, 3);
  EXPECT_EQ(view.data(), text.data() + 1);
  EXPECT_EQ(view.size(), 3u);
}

// --- RemoveAll ---

struct RemoveCase {
  Text text;
  Text pattern;
  bool ignoreCase;
  Text expected;
};

TEST(RemoveAll, OnePassTable) {
  const std::vector<RemoveCase> cases = {
      {u"a<br>b<BR>c", u"<br>", true, u"abc"},
      {u"a<br>b<BR>c", u"<br>", false, u"ab<BR>c"},
      {u"<b<br>r>", u"<br>", true, u"<br>"},
      {u"<b<br>r>", u"<br>", false, u"<br>"},
      {u"A<BR>b", u"<br>", true, u"Ab"},
      {u"a<Br>B", u"<bR>", true, u"aB"},
      {u"", u"<br>", true, u""},
      {u"abc", u"", false, u"abc"},
      {u"abc", u"", true, u"abc"},
      {u"aaaa", u"aa", false, u""},
      {u"aaa", u"aa", false, u"a"},
      {u"<br><br>", u"<br>", false, u""},
      {u"&nbsp;&nbsp;", u"&nbsp", true, u";;"},
      {u"&NbSp x", u"&nbsp", true, u" x"},
      {u"a b\tc\u3000d", u" ", true, u"ab\tc\u3000d"},
      {u"<br", u"<br>", false, u"<br"},
      {u"中<br>文", u"<BR>", true, u"中文"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RemoveAll(ExactView(c.text), ExactView(c.pattern), c.ignoreCase), c.expected)
        << U8(c.text) << " - " << U8(c.pattern) << (c.ignoreCase ? " (any case)" : "");
}

TEST(RemoveAll, IgnoreCaseKeepsLengthForUnitsWithWideUpperCase) {
  // U+00DF has the full upper case "SS" and U+0149 "ʼN": the simple mapping
  // leaves both single units, so the text keeps its length and only the
  // pattern goes.
  const Text text = u"\u00DF<br>\u0149x";
  EXPECT_EQ(RemoveAll(text, u"<BR>", true), u"\u00DF\u0149x");
  // A lone surrogate is an ordinary unit.
  const Text surrogate = Text(1, char16_t(0xD800)) + u"<br>";
  EXPECT_EQ(RemoveAll(surrogate, u"<br>", true), Text(1, char16_t(0xD800)));
}

TEST(RemoveAll, IgnoreCaseMatchesNonAsciiLetters) {
  EXPECT_EQ(RemoveAll(u"x\u00E9y\u00C9z", u"\u00E9", true), u"xyz");
}

TEST(RemoveAll, NulIsOrdinary) {
  const Text text = Text(u"a") + u'\0' + u"<br>b";
  EXPECT_EQ(RemoveAll(text, u"<br>", false), Text(u"a") + u'\0' + u"b");
}

// --- Trim, blank, equal ---

TEST(Trim, DropsControlUnitsOnly) {
  struct Case {
    Text text;
    Text expected;
  };
  const std::vector<Case> cases = {
      {u" \r\nx \t", u"x"},
      {u"\r\n  \r\n", u""},
      {u"", u""},
      {Text(1, u'\0') + u"a" + Text(1, u'\0'), u"a"},
      {u"\x1F"
       u"a b\x01",
       u"a b"},
      {u"\u3000x\u3000", u"\u3000x\u3000"},
      {u"\u00A0x", u"\u00A0x"},
      {u"!", u"!"},
  };
  for (const auto& c : cases) EXPECT_EQ(Trim(ExactView(c.text)), c.expected) << U8(c.text);
}

TEST(Trim, Blankness) {
  EXPECT_TRUE(IsBlank(ExactView(u"")));
  EXPECT_TRUE(IsBlank(ExactView(u"\r\n  \r\n")));
  EXPECT_TRUE(IsBlank(ExactView(Text(3, u'\0'))));
  EXPECT_FALSE(IsBlank(ExactView(u"\u3000\u3000")));
  EXPECT_FALSE(IsBlank(ExactView(u"\r\n-\r\n")));
}

TEST(Equal, CodeUnitsAndCase) {
  EXPECT_TRUE(IsEqual(u"F", u"F"));
  EXPECT_FALSE(IsEqual(u"F", u"f"));
  EXPECT_TRUE(IsEqual(u"", u""));
  EXPECT_FALSE(IsEqual(u"", u"F"));
  EXPECT_FALSE(IsEqual(u"F", u"F "));
  EXPECT_FALSE(IsEqual(Text(u"F") + u'\0', u"F"));
}

// --- SplitCommaList ---

struct SplitCase {
  Text text;
  TextList expected;
};

TEST(SplitCommaList, Table) {
  const std::vector<SplitCase> cases = {
      {u"1,2,3", {u"1", u"2", u"3"}},
      {u"1, 2", {u"1", u"2"}},
      {u"1 2", {u"1", u"2"}},
      {u"1,,2", {u"1", u"", u"2"}},
      {u"1,2,", {u"1", u"2", u""}},
      {u"1,2, ", {u"1", u"2"}},
      {u",1", {u"", u"1"}},
      {u",", {u"", u""}},
      {u"", {}},
      {u"  \t\r\n", {}},
      {u"  a", {u"a"}},
      {u"\"a,b\",c", {u"a,b", u"c"}},
      {u"\"\",x", {u"", u"x"}},
      {u"\"say \"\"hi\"\"\"", {u"say \"hi\""}},
      {u"\"a b\" c", {u"a b", u"c"}},
      {u"\"a\"b", {u"a", u"b"}},
      {u"1, 2,3,", {u"1", u"2", u"3", u""}},
      {u"1 ,2", {u"1", u"2"}},
      {u"1 , ,2", {u"1", u"", u"2"}},
      {u"2273274,2273274-2,2273274-3", {u"2273274", u"2273274-2", u"2273274-3"}},
      {u"a,a", {u"a", u"a"}},
  };
  for (const auto& c : cases) {
    TextList list = {u"left over"};
    SplitCommaList(ExactView(c.text), list);
    EXPECT_EQ(list, c.expected) << U8(c.text);
  }
}

TEST(SplitCommaList, StopsAtNul) {
  TextList list;
  SplitCommaList(Text(u"1,2") + u'\0' + u",3", list);
  EXPECT_EQ(list, (TextList{u"1", u"2"}));
  SplitCommaList(Text(1, u'\0') + u"1", list);
  EXPECT_TRUE(list.empty());
  // A comma followed by U+0000 is not the last unit: no trailing empty item.
  SplitCommaList(Text(u"1,") + u'\0', list);
  EXPECT_EQ(list, (TextList{u"1"}));
  SplitCommaList(Text(u"\"a") + u'\0' + u"b\",c", list);
  EXPECT_EQ(list, (TextList{u"a"}));
}

TEST(SplitCommaList, UnclosedQuoteTakesTheRest) {
  TextList list;
  SplitCommaList(u"x,\"a, b", list);
  EXPECT_EQ(list, (TextList{u"x", u"a, b"}));
  SplitCommaList(u"\"", list);
  EXPECT_EQ(list, (TextList{u""}));
}

TEST(SplitCommaList, ReadsNothingPastTheView) {
  // Each view is cut from a buffer whose next unit would change the list.
  const Text buffer = u"x,\"a\"\"b,c";
  TextList list;
  SplitCommaList(TextView(buffer).substr(0, 5), list);  // x,"a"
  EXPECT_EQ(list, (TextList{u"x", u"a"}));
  SplitCommaList(TextView(buffer).substr(0, 3), list);  // x,"
  EXPECT_EQ(list, (TextList{u"x", u""}));
}

// --- FormatFixed, DecimalDigits ---

class FormatFixedTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator(u'.'); }
  void TearDown() override { SetDecimalSeparator(u'.'); }
};

TEST_F(FormatFixedTest, TiesGoAwayFromZero) {
  struct Case {
    long double value;
    Text expected;
  };
  const std::vector<Case> cases = {
      {100.0L, u"100.00"},
      {12.5L, u"12.50"},
      {200.0L / 3.0L, u"66.67"},
      {100.0L / 3.0L, u"33.33"},
      {0.5L, u"0.50"},
      {3.125L, u"3.13"},
      {0.625L, u"0.63"},
      {0.125L, u"0.13"},
      {0.0L, u"0.00"},
      {0.004L, u"0.00"},
      {0.005L, u"0.01"},
      {9.995L, u"10.00"},
      {99.999L, u"100.00"},
      {1.0L / 3.0L, u"0.33"},
      {2.675L, u"2.68"},
      {1.005L, u"1.01"},
      // 19 significant digits round to 1.005 at 18; 18 of them stay below it.
      {1.004999999999999996L, u"1.01"},
      {1.00499999999999996L, u"1.00"},
      {123456789.0L, u"123456789.00"},
      {-3.125L, u"-3.13"},
      {-0.001L, u"0.00"},
      {1e20L, u"100000000000000000000.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value), c.expected) << U8(c.expected);
}

TEST_F(FormatFixedTest, UsesTheDecimalSeparator) {
  SetDecimalSeparator(u',');
  EXPECT_EQ(FormatFixed(12.5L), u"12,50");
  EXPECT_EQ(DecimalSeparator(), u',');
}

TEST_F(FormatFixedTest, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(FormatFixed(std::numeric_limits<long double>::infinity()), u"INF");
  EXPECT_EQ(FormatFixed(-std::numeric_limits<long double>::infinity()), u"-INF");
  EXPECT_EQ(FormatFixed(std::numeric_limits<long double>::quiet_NaN()), u"NAN");
}

TEST(DecimalDigits, Table) {
  EXPECT_EQ(DecimalDigits(0), u"0");
  EXPECT_EQ(DecimalDigits(7), u"7");
  EXPECT_EQ(DecimalDigits(2000), u"2000");
  EXPECT_EQ(DecimalDigits(-12), u"-12");
  EXPECT_EQ(DecimalDigits(2147483647), u"2147483647");
}

}  // namespace
}  // namespace velbrook
