// Code page 936 and UTF-8 conversions on tables of known texts and bytes,
// the page markers through both ways, and the encoder's "?" for every
// character that the code page cannot hold. IcuReferenceTest holds the same
// conversions to ICU on every input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/CaseName.h"
#include "tests/support/ExactView.h"
#include "tests/text/EncodingCases.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

using testing::ConversionCase;
using testing::Hex;

class DecodeTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(DecodeTest, GivesTheCodeUnits) {
  EXPECT_EQ(DecodeCp936(testing::ExactView(GetParam().bytes)), GetParam().text)
      << Hex(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Known, DecodeTest, ::testing::ValuesIn(testing::Cp936Decodings()),
                         testing::RowName());

class FromUtf8Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FromUtf8Test, GivesTheCodeUnits) {
  EXPECT_EQ(FromUtf8(testing::ExactView(GetParam().bytes)), GetParam().text)
      << Hex(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Known, FromUtf8Test, ::testing::ValuesIn(testing::Utf8Readings()),
                         testing::RowName());

class ToUtf8Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ToUtf8Test, GivesTheBytes) {
  EXPECT_EQ(Hex(ToUtf8(GetParam().text)), Hex(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Known, ToUtf8Test, ::testing::ValuesIn(testing::Utf8Writings()),
                         testing::RowName());

TEST(DecodeCp936Test, PageMarkersComeBackAsWritten) {
  EXPECT_EQ(DecodeCp936(EncodeCp936(testing::kMarkerPage)), testing::kMarkerPage);
}

// Every character that some byte sequence of the code page decodes to: the
// characters that it can hold.
const std::vector<bool>& HeldCharacters() {
  static const std::vector<bool> held = [] {
    std::vector<bool> table(0x10000, false);
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
      const Text unit = DecodeCp936(std::string(1, static_cast<char>(byte)));
      if (unit.size() == 1 && unit[0] != 0xFFFD) table[unit[0]] = true;
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        const Text unit = DecodeCp936(testing::ExactView(std::string_view(pair, 2)));
        if (unit.size() == 1 && unit[0] != 0xFFFD) table[unit[0]] = true;
      }
    }
    return table;
  }();
  return held;
}

TEST(EncodeCp936Test, EveryBmpCodePointIsItselfOrOneQuestionMark) {
  Text all;
  Text expected;
  size_t held = 0;
  for (char32_t point = 0; point <= 0xFFFF; ++point) {
    const Text alone(1, static_cast<char16_t>(point));
    const std::string bytes = EncodeCp936(alone);
    if (HeldCharacters()[point]) {
      ++held;
      ASSERT_EQ(DecodeCp936(bytes), alone) << "U+" << std::hex << static_cast<unsigned>(point);
    } else {
      ASSERT_EQ(bytes, "?") << "U+" << std::hex << static_cast<unsigned>(point);
    }
    // Lone surrogates one after another would pair up in the whole text.
    if (point < 0xD800 || point > 0xDFFF) {
      all += alone;
      expected += HeldCharacters()[point] ? alone : Text(u"?");
    }
  }
  // ASCII, the euro sign, the double-byte characters and the user-defined area.
  EXPECT_GT(held, 20000u);
  EXPECT_LT(held, 0xD800u);
  EXPECT_EQ(DecodeCp936(EncodeCp936(all)), expected);
}

TEST(EncodeCp936Test, EachCharacterOutsideTheBmpIsOneQuestionMark) {
  Text all;
  for (char32_t point = 0x10000; point <= 0x10FFFF; point += 0x3F1) {
    const Text pair = {static_cast<char16_t>(0xD7C0 + (point >> 10)),
                       static_cast<char16_t>(0xDC00 + (point & 0x3FF))};
    ASSERT_EQ(EncodeCp936(pair), "?") << "U+" << std::hex << static_cast<unsigned>(point);
    all += pair;
  }
  EXPECT_EQ(EncodeCp936(all), std::string(all.size() / 2, '?'));
}

TEST(EncodeCp936Test, UnheldCharactersInTextLeaveOneQuestionMarkEach) {
  const struct {
    const char* name;
    Text text;
    std::string bytes;
  } cases[] = {
      {"ZeroWidthSpace", u"a\u200Bb", "a?b"},
      {"ZeroWidthJoinerInAnEmojiSequence", u"\U0001F468\u200D\U0001F469", "???"},
      {"ByteOrderMarkFirst", u"\uFEFF老", "?\xC0\xCF"},
      {"SoftHyphen", u"co\u00ADop", "co?op"},
      {"VariationSelector", u"\u2764\uFE0F", "??"},
      {"SupplementaryVariationSelector", u"x\U000E0100", "x?"},
      {"EmojiBetweenChinese", u"山\U0001F600楼", "\xC9\xBD?\xC2\xA5"},
      {"LoneHighSurrogateAtTheEnd", Text(u"ab") + char16_t(0xD83D), "ab?"},
      {"LoneHighSurrogateBeforeALetter", Text(1, char16_t(0xD83D)) + u"x", "?x"},
      {"LoneLowSurrogate", Text(u"x") + char16_t(0xDE00) + u"y", "x?y"},
      {"ReversedPair", Text{char16_t(0xDE00), char16_t(0xD83D)}, "??"},
      {"QuestionMarkItself", u"?", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeCp936(c.text), c.bytes) << c.name;
}

}  // namespace
}  // namespace velbrook
