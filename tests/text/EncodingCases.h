#pragma once
// The tables of known conversions: EncodingTest holds the conversions to the
// texts and bytes written here, IcuReferenceTest holds them to ICU on the
// same rows.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "text/MarkerText.h"

namespace velbrook::testing {

// bytes as hexadecimal pairs, for failure messages.
inline std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
    hex += ' ';
  }
  return hex;
}

// A page with every marker that the extraction looks for.
inline const Text kMarkerPage =
    u"<script>var chrAuthorName = \"山间小楼\"; var chrTitle = \"老屋旧事 连载\"; var chrItem = "
    u"\"x\";</script>"
    u"<!-- 开始首贴作者和日期 -->作者:<a href=\"/u/1\" target=\"_blank\">山间小楼</a>"
    u"<div class=\"post\">第一段<br>第二段&nbsp;<div class=\"post-jb\">举报</div></div>"
    u"<!-- 结束贴子内容 -->\r\n";

// A text and the bytes it is written as, or read from, in one encoding.
struct ConversionCase {
  const char* name;
  std::string bytes;
  Text text;
};

// Failure messages name the row.
inline void PrintTo(const ConversionCase& row, std::ostream* out) { *out << row.name; }

// Code page 936 byte sequences and what they decode to.
inline const std::vector<ConversionCase>& Cp936Decodings() {
  static const std::vector<ConversionCase> cases = {
      {"Empty", "", u""},
      {"Ascii", "<div class=\"post\">", u"<div class=\"post\">"},
      {"ZeroByteIsAUnit", std::string("a\0b", 3), Text(u"a\0b", 3)},
      {"Chinese", "\xC9\xBD\xBC\xE4\xD0\xA1\xC2\xA5", u"山间小楼"},
      {"TrailInTheAsciiRange", "\x81\x40", u"\u4E02"},
      {"EuroSign", "\x80", u"\u20AC"},
      {"ByteFFIsACharacterOfItsOwn", "\xFF", u"\uF8F5"},
      {"LeadAtTheEnd", "ab\xC9", u"ab\uFFFD"},
      {"LeadBeforeAMarkupByte", "\xC9<br>", u"\uFFFD<br>"},
      {"LeadBeforeALineFeed", "\xC9\n", u"\uFFFD\n"},
      // Its first two bytes are one character; the third leads nothing.
      {"ByteOrderMarkIsDecodedLikeTheRest",
       "\xEF\xBB\xBF"
       "<",
       u"\u9518\uFFFD<"},
      {"LeadBeforeDelete", "\xC9\x7F", u"\uFFFD\u007F"},
      {"LeadBeforeByteFF", "\xC9\xFF", u"\uFFFD\uF8F5"},
  };
  return cases;
}

// UTF-8 byte sequences, well-formed and not, and what they are read as: each
// maximal subpart of an ill-formed sequence one U+FFFD.
inline const std::vector<ConversionCase>& Utf8Readings() {
  static const std::vector<ConversionCase> cases = {
      {"Empty", "", u""},
      {"AsciiWithZeroByte", std::string("a\0b", 3), Text(u"a\0b", 3)},
      {"TwoThreeAndFourBytes", "\xC2\xA9\xE5\xB1\xB1\xF0\x9F\x98\x80", u"\u00A9山\U0001F600"},
      {"FirstOfThreeBytes", "\xE0\xA0\x80", u"\u0800"},
      {"LastBeforeTheSurrogates", "\xED\x9F\xBF", u"\uD7FF"},
      {"LastCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"ByteOrderMarkStays", "\xEF\xBB\xBF", u"\uFEFF"},
      {"Noncharacter", "\xEF\xBF\xBE", u"\uFFFE"},
      {"OverlongTwoBytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"OverlongC1", "\xC1\xBF", u"\uFFFD\uFFFD"},
      {"OverlongThreeBytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"OverlongFourBytes", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"EncodedHighSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"EncodedLowSurrogate", "\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
      {"EncodedSurrogatePair", "\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"AboveUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"LeadF5", "\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"FiveByteForm", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"ByteFF", "x\xFF", u"x\uFFFD"},
      {"LoneContinuation", "\x80y", u"\uFFFDy"},
      {"TruncatedThreeBytesAtTheEnd", "a\xE5\xB1", u"a\uFFFD"},
      {"TruncatedFourBytesBeforeALetter", "\xF0\x9F\x98x", u"\uFFFDx"},
      {"TruncatedBeforeALead", "\xE5\xB1\xE5\xB1\xB1", u"\uFFFD山"},
      {"TwoByteLeadBeforeAscii", "\xC3(", u"\uFFFD("},
      {"LeadBeforeAnotherLead", "\xF0\xC2\xA9", u"\uFFFD\u00A9"},
  };
  return cases;
}

// UTF-16 texts, paired and not, and the UTF-8 they are written as: each lone
// surrogate as U+FFFD.
inline const std::vector<ConversionCase>& Utf8Writings() {
  static const std::vector<ConversionCase> cases = {
      {"Empty", "", u""},
      {"ZeroUnit", std::string(1, '\0'), Text(1, u'\0')},
      {"EdgesOfEachLength", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF",
       u"\u007F\u0080\u07FF\u0800\uFFFF"},
      {"SurrogatePair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"LastCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"LoneHighSurrogateAtTheEnd", "a\xEF\xBF\xBD", Text(u"a") + char16_t(0xD83D)},
      {"LoneHighSurrogateBeforeALetter", "\xEF\xBF\xBDx", Text(1, char16_t(0xD83D)) + u"x"},
      {"LoneLowSurrogate", "\xEF\xBF\xBD", Text(1, char16_t(0xDE00))},
      {"ReversedPair", "\xEF\xBF\xBD\xEF\xBF\xBD", Text{char16_t(0xDE00), char16_t(0xD83D)}},
      {"HighBeforeAPair", "\xEF\xBF\xBD\xF0\x9F\x98\x80",
       Text{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}},
  };
  return cases;
}

}  // namespace velbrook::testing
