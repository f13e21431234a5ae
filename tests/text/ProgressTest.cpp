#include "text/Progress.h"

#include <gtest/gtest.h>

#include <string>

#include "text/Encoding.h"

namespace velbrook {
namespace {

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator(u'.'); }
  void TearDown() override { SetDecimalSeparator(u'.'); }
};

// done*100/total rounded half up to two decimals, in integers only.
std::string ExactPercent(int64_t done, int64_t total) {
  const int64_t hundredths = (done * 10000 * 2 + total) / (2 * total);
  const int64_t cents = hundredths % 100;
  return std::to_string(hundredths / 100) + "." + (cents < 10 ? "0" : "") + std::to_string(cents);
}

TEST_F(ProgressTest, KnownPercentages) {
  struct Case {
    int32_t done, total;
    Text expected;
  };
  const Case cases[] = {
      {1, 3, u"33.33"},    {2, 3, u"66.67"},  {3, 3, u"100.00"},
      {1, 8, u"12.50"},    {1, 32, u"3.13"},  {1, 160, u"0.63"},
      {23, 160, u"14.38"}, {1, 800, u"0.13"}, {1, 1, u"100.00"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ProgressPercent(c.done, c.total), c.expected) << c.done << "/" << c.total;
}

TEST_F(ProgressTest, EveryPageOfUpTo2000MatchesIntegerArithmetic) {
  int mismatches = 0;
  for (int32_t total = 1; total <= 2000; ++total) {
    for (int32_t done = 1; done <= total; ++done) {
      const std::string got = ToUtf8(ProgressPercent(done, total));
      const std::string want = ExactPercent(done, total);
      if (got != want && ++mismatches <= 10)
        ADD_FAILURE() << done << "/" << total << ": " << got << " instead of " << want;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(ProgressTest, ProgressText) {
  EXPECT_EQ(ProgressText(1, 3), u"当前进度:33.33%,(1/3)");
  EXPECT_EQ(ProgressText(1, 1), u"当前进度:100.00%,(1/1)");
  SetDecimalSeparator(u',');
  EXPECT_EQ(ProgressText(23, 160), u"当前进度:14,38%,(23/160)");
}

}  // namespace
}  // namespace velbrook
