// Code page 936 decoding: the table-driven reading of plain and double-byte
// characters must give exactly what ICU's converter gives for the whole body
// in one pass, for every pair of bytes and for hostile byte mixtures, and the
// texts that the page markers rely on must come out as written. Encoding:
// each character comes back through decoding or is one "?".
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

// ICU's one-pass conversion, set up as the program sets its converter up.
Text IcuReference(std::string_view bytes) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> converter(
      ucnv_open("windows-936-2000", &status), ucnv_close);
  EXPECT_TRUE(U_SUCCESS(status));
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  Text units(bytes.size() + 1, u'\0');
  status = U_ZERO_ERROR;
  const int32_t length =
      ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()), bytes.data(),
                    static_cast<int32_t>(bytes.size()), &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  units.resize(static_cast<size_t>(length));
  return units;
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
    hex += ' ';
  }
  return hex;
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  Text text;
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTheCodeUnits) {
  EXPECT_EQ(DecodeCp936(GetParam().bytes), GetParam().text) << Hex(GetParam().bytes);
  EXPECT_EQ(DecodeCp936(GetParam().bytes), IcuReference(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Known, DecodeTest,
    ::testing::Values(DecodeCase{"Empty", "", u""},
                      DecodeCase{"Ascii", "<div class=\"post\">", u"<div class=\"post\">"},
                      DecodeCase{"ZeroByteIsAUnit", std::string("a\0b", 3), Text(u"a\0b", 3)},
                      DecodeCase{"Chinese", "\xC9\xBD\xBC\xE4\xD0\xA1\xC2\xA5", u"山间小楼"},
                      DecodeCase{"TrailInTheAsciiRange", "\x81\x40", u"\u4E02"},
                      DecodeCase{"EuroSign", "\x80", u"\u20AC"},
                      DecodeCase{"LeadAtTheEnd", "ab\xC9", u"ab\uFFFD"},
                      DecodeCase{"LeadBeforeAMarkupByte", "\xC9<br>", u"\uFFFD<br>"},
                      DecodeCase{"LeadBeforeALineFeed", "\xC9\n", u"\uFFFD\n"},
                      // Its first two bytes are one character; the third leads nothing.
                      DecodeCase{"ByteOrderMarkIsDecodedLikeTheRest",
                                 "\xEF\xBB\xBF"
                                 "<",
                                 u"\u9518\uFFFD<"},
                      DecodeCase{"LeadBeforeDelete", "\xC9\x7F", u"\uFFFD\u007F"}),
    testing::RowName());

TEST(DecodeCp936Test, EveryPairAloneAndBetweenMarkupIsIcusReading) {
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      ASSERT_EQ(DecodeCp936(pair), IcuReference(pair)) << Hex(pair);
      const std::string framed = "a\xC9\xBD" + pair +
                                 "\xC9\xBD"
                                 "b";
      ASSERT_EQ(DecodeCp936(framed), IcuReference(framed)) << Hex(framed);
    }
  }
}

TEST(DecodeCp936Test, HostileMixturesAreIcusOnePassReading) {
  std::mt19937 random(936);
  // Mostly high bytes, so lead, trail, unassigned and cut pairs meet in every way.
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> high(0x80, 0xFF);
  std::uniform_int_distribution<int> any(0, 0xFF);
  std::uniform_int_distribution<int> length(0, 600);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(static_cast<size_t>(length(random)), '\0');
    for (char& byte : bytes)
      byte = static_cast<char>(kind(random) < 6 ? high(random) : any(random));
    ASSERT_EQ(DecodeCp936(bytes), IcuReference(bytes)) << Hex(bytes);
  }
}

TEST(DecodeCp936Test, PageMarkersComeBackAsWritten) {
  const Text page =
      u"<script>var chrAuthorName = \"山间小楼\"; var chrTitle = \"老屋旧事 连载\"; var chrItem = "
      u"\"x\";</script>"
      u"<!-- 开始首贴作者和日期 -->作者:<a href=\"/u/1\" target=\"_blank\">山间小楼</a>"
      u"<div class=\"post\">第一段<br>第二段&nbsp;<div class=\"post-jb\">举报</div></div>"
      u"<!-- 结束贴子内容 -->\r\n";
  const std::string bytes = EncodeCp936(page);
  EXPECT_EQ(DecodeCp936(bytes), page);
  EXPECT_EQ(DecodeCp936(bytes), IcuReference(bytes));
}

TEST(DecodeCp936Test, LongBodyAcrossManyIrregularSequences) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i)
    bytes += i % 7 == 0 ? "\xC9"
                          "<"
                        : "\xC9\xBD"
                          "x";
  EXPECT_EQ(DecodeCp936(bytes), IcuReference(bytes));
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
        const Text unit = DecodeCp936(std::string_view(pair, 2));
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
