// Our own code page 936, upper-casing and UTF-8 against ICU, whose
// "windows-936-2000" converter, u_toupper and UTF-8 conversions their tables
// and rules were made from: the same code units and bytes on every input of
// one and two bytes, on every code unit, and on hostile mixtures. Built only
// where ICU is found (not for Windows).
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <memory>
#include <random>
#include <string>

#include "tests/support/CaseName.h"
#include "tests/text/EncodingCases.h"
#include "text/Encoding.h"
#include "text/UpperCase.h"

namespace velbrook {
namespace {

using testing::ConversionCase;
using testing::Hex;

// One "?" for each character that the code page cannot hold, a
// default-ignorable one and a lone surrogate included (ICU's own substitute
// callback would drop the default-ignorable ones).
void QuestionMarkForEachCharacter(const void* /*context*/, UConverterFromUnicodeArgs* args,
                                  const UChar* /*codeUnits*/, int32_t /*length*/,
                                  UChar32 /*codePoint*/, UConverterCallbackReason reason,
                                  UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, "?", 1, 0, status);
}

// ICU's one-pass conversions, the converter set up as the program once set
// its own up: substitute "?", the callback above, fallbacks off.
class IcuCp936 {
 public:
  IcuCp936() : converter_(nullptr, ucnv_close) {
    UErrorCode status = U_ZERO_ERROR;
    converter_.reset(ucnv_open("windows-936-2000", &status));
    ucnv_setSubstChars(converter_.get(), "?", 1, &status);
    ucnv_setFromUCallBack(converter_.get(), QuestionMarkForEachCharacter, nullptr, nullptr, nullptr,
                          &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  }

  Text Decode(std::string_view bytes) {
    ucnv_reset(converter_.get());
    Text units(bytes.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_toUChars(converter_.get(), units.data(), static_cast<int32_t>(units.size()),
                      bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    units.resize(static_cast<size_t>(length));
    return units;
  }

  std::string Encode(TextView text) {
    ucnv_reset(converter_.get());
    std::string bytes(text.size() * 2 + 1, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_fromUChars(converter_.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                        text.data(), static_cast<int32_t>(text.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    bytes.resize(static_cast<size_t>(length));
    return bytes;
  }

 private:
  std::unique_ptr<UConverter, void (*)(UConverter*)> converter_;
};

IcuCp936& Icu() {
  static IcuCp936 icu;
  return icu;
}

std::string Units(TextView text) {
  std::string hex;
  for (char16_t unit : text) hex += Hex(std::string{char(unit >> 8), char(unit & 0xFF)});
  return hex;
}

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (unsigned value : values) bytes += static_cast<char>(value);
  return bytes;
}

// --- Decoding ---

class DecodeVsIcuTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(DecodeVsIcuTest, IsIcusReading) {
  EXPECT_EQ(DecodeCp936(GetParam().bytes), Icu().Decode(GetParam().bytes)) << Hex(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Known, DecodeVsIcuTest, ::testing::ValuesIn(testing::Cp936Decodings()),
                         testing::RowName());

TEST(DecodeCp936VsIcuTest, EveryInputOfOneOrTwoBytesAloneBeforeAnAAndBetweenMarkup) {
  for (unsigned first = 0; first <= 0xFF; ++first) {
    for (unsigned second = 0; second <= 0x100; ++second) {  // 0x100: the first byte alone
      const std::string bytes = second <= 0xFF ? Bytes({first, second}) : Bytes({first});
      const std::string framed = "a\xC9\xBD" + bytes +
                                 "\xC9\xBD"
                                 "b";
      for (const std::string& input : {bytes, bytes + "A", framed})
        ASSERT_EQ(DecodeCp936(input), Icu().Decode(input)) << Hex(input);
    }
  }
}

TEST(DecodeCp936VsIcuTest, HostileMixturesAreIcusOnePassReading) {
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
    ASSERT_EQ(DecodeCp936(bytes), Icu().Decode(bytes)) << Hex(bytes);
  }
}

TEST(DecodeCp936VsIcuTest, LongBodyAcrossManyIrregularSequences) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i)
    bytes += i % 7 == 0 ? "\xC9"
                          "<"
                        : "\xC9\xBD"
                          "x";
  EXPECT_EQ(DecodeCp936(bytes), Icu().Decode(bytes));
}

// --- Encoding ---

TEST(EncodeCp936VsIcuTest, PageMarkersBothWays) {
  const std::string bytes = EncodeCp936(testing::kMarkerPage);
  EXPECT_EQ(Hex(bytes), Hex(Icu().Encode(testing::kMarkerPage)));
  EXPECT_EQ(DecodeCp936(bytes), Icu().Decode(bytes));
}

TEST(EncodeCp936VsIcuTest, EveryBmpCodeUnitAloneAndBeforeAnA) {
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const Text alone(1, static_cast<char16_t>(unit));
    ASSERT_EQ(Hex(EncodeCp936(alone)), Hex(Icu().Encode(alone))) << Units(alone);
    const Text before = alone + u"A";
    ASSERT_EQ(Hex(EncodeCp936(before)), Hex(Icu().Encode(before))) << Units(before);
  }
}

TEST(EncodeCp936VsIcuTest, SurrogatePairsAndLoneSurrogates) {
  for (char32_t point = 0x10000; point <= 0x10FFFF; point += 0x3F1) {
    const Text pair = {static_cast<char16_t>(0xD7C0 + (point >> 10)),
                       static_cast<char16_t>(0xDC00 + (point & 0x3FF))};
    for (const Text& text : {pair, u"x" + pair + u"y", pair + pair.substr(0, 1)})
      ASSERT_EQ(Hex(EncodeCp936(text)), Hex(Icu().Encode(text))) << Units(text);
  }
  for (char32_t unit = 0xD800; unit <= 0xDFFF; ++unit) {
    const Text lone(1, static_cast<char16_t>(unit));
    for (const Text& text : {lone, u"x" + lone, lone + u"山", lone + lone})
      ASSERT_EQ(Hex(EncodeCp936(text)), Hex(Icu().Encode(text))) << Units(text);
  }
}

TEST(EncodeCp936VsIcuTest, HostileMixturesOfUnitsAndSurrogates) {
  std::mt19937 random(936);
  // Surrogates of both kinds often, so pairs, lone ones and reversed ones meet.
  std::uniform_int_distribution<int> kind(0, 3);
  std::uniform_int_distribution<int> any(0, 0xFFFF);
  std::uniform_int_distribution<int> surrogate(0xD800, 0xDFFF);
  std::uniform_int_distribution<int> length(0, 200);
  for (int round = 0; round < 3000; ++round) {
    Text text(static_cast<size_t>(length(random)), u'\0');
    for (char16_t& unit : text)
      unit = static_cast<char16_t>(kind(random) == 0 ? surrogate(random) : any(random));
    ASSERT_EQ(Hex(EncodeCp936(text)), Hex(Icu().Encode(text))) << Units(text);
  }
}

// --- Upper-casing ---

TEST(UpperUnitVsIcuTest, EveryBmpCodeUnit) {
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const UChar32 upper = u_toupper(static_cast<UChar32>(unit));
    const char32_t expected =
        upper > 0xFFFF || U_IS_SURROGATE(upper) ? unit : static_cast<char32_t>(upper);
    ASSERT_EQ(static_cast<char32_t>(UpperUnit(static_cast<char16_t>(unit))), expected)
        << "U+" << std::hex << static_cast<unsigned>(unit);
  }
}

// --- UTF-8 ---

Text IcuFromUtf8(std::string_view utf8) {
  Text units(utf8.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  units.resize(static_cast<size_t>(length));
  return units;
}

std::string IcuToUtf8(TextView text) {
  std::string bytes(text.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(bytes.data(), static_cast<int32_t>(bytes.size()), &length, text.data(),
                     static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  bytes.resize(static_cast<size_t>(length));
  return bytes;
}

class FromUtf8VsIcuTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FromUtf8VsIcuTest, IsIcusReading) {
  EXPECT_EQ(FromUtf8(GetParam().bytes), IcuFromUtf8(GetParam().bytes)) << Hex(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Known, FromUtf8VsIcuTest, ::testing::ValuesIn(testing::Utf8Readings()),
                         testing::RowName());

class ToUtf8VsIcuTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ToUtf8VsIcuTest, IsIcusWriting) {
  EXPECT_EQ(Hex(ToUtf8(GetParam().text)), Hex(IcuToUtf8(GetParam().text)));
}

INSTANTIATE_TEST_SUITE_P(Known, ToUtf8VsIcuTest, ::testing::ValuesIn(testing::Utf8Writings()),
                         testing::RowName());

// Every lead byte with every byte after it decides where a sequence is cut;
// two continuation bytes and an "A" after them show what is read next.
TEST(FromUtf8VsIcuTest, EveryTwoByteStartAloneAndBeforeContinuations) {
  for (unsigned first = 0; first <= 0xFF; ++first) {
    for (unsigned second = 0; second <= 0xFF; ++second) {
      const std::string start = Bytes({first, second});
      for (const std::string& input : {start, start + "\x80\x80" + "A"})
        ASSERT_EQ(FromUtf8(input), IcuFromUtf8(input)) << Hex(input);
    }
  }
}

TEST(ToUtf8VsIcuTest, EveryBmpCodeUnitAlone) {
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const Text alone(1, static_cast<char16_t>(unit));
    ASSERT_EQ(Hex(ToUtf8(alone)), Hex(IcuToUtf8(alone))) << Units(alone);
  }
}

}  // namespace
}  // namespace velbrook
