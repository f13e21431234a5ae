#include "text/Encoding.h"

#include <array>
#include <cstdint>

namespace velbrook {
namespace {

#include "text/Cp936Tables.inc"

constexpr unsigned char kFirstNonAscii = 0x80;
constexpr char16_t kSubstitute = 0xFFFD;
constexpr char kQuestionMark = '?';

// The pair table with a row for every byte above 0x7F and a column for every
// byte, 0 where the two bytes are no character: one lookup, no range tests,
// for the double-byte characters that page bodies are mostly made of.
using Cp936Decoder = std::array<char16_t, 0x80 << 8>;

constexpr Cp936Decoder DecoderTable() {
  Cp936Decoder units{};
  for (unsigned lead = kCp936FirstLead; lead <= kCp936LastLead; ++lead)
    for (unsigned trail = kCp936FirstTrail; trail <= kCp936LastTrail; ++trail)
      units[(lead - kFirstNonAscii) << 8 | trail] =
          kCp936Pairs[lead - kCp936FirstLead][trail - kCp936FirstTrail];
  return units;
}

constexpr Cp936Decoder kCp936Decoder = DecoderTable();

// The character of a byte above 0x7F and the byte after it, or 0.
char16_t PairUnit(unsigned char lead, unsigned char trail) {
  return kCp936Decoder[static_cast<unsigned>(lead - kFirstNonAscii) << 8 | trail];
}

// A byte above 0x7F that is not the lead of a pair: one of the two that lead
// nothing, or a lead byte before a byte that is no trail, or at the very end.
char16_t HighByteAlone(unsigned char byte) {
  if (byte == 0x80) return kCp936Byte80;
  if (byte == 0xFF) return kCp936ByteFF;
  return kSubstitute;
}

// For each character above U+007F that the code page holds, its bytes: one
// byte below 0x100, else lead << 8 | trail; 0 for every other code unit.
using Cp936Encoder = std::array<uint16_t, 0x10000>;

constexpr Cp936Encoder EncoderTable() {
  Cp936Encoder bytes{};
  bytes[kCp936Byte80] = 0x80;
  bytes[kCp936ByteFF] = 0xFF;
  for (unsigned lead = kCp936FirstLead; lead <= kCp936LastLead; ++lead) {
    for (unsigned trail = kCp936FirstTrail; trail <= kCp936LastTrail; ++trail) {
      const char16_t unit = kCp936Pairs[lead - kCp936FirstLead][trail - kCp936FirstTrail];
      if (unit != 0) bytes[unit] = static_cast<uint16_t>(lead << 8 | trail);
    }
  }
  return bytes;
}

// Built by the compiler from the decoder's table: every character is read
// from exactly one byte sequence, and written as that one.
constexpr Cp936Encoder kCp936Encoder = EncoderTable();

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The bytes of a code point in UTF-8, written from out on; returns their end.
char* AppendUtf8(char32_t point, char* out) {
  if (point < 0x80) {
    *out++ = static_cast<char>(point);
  } else if (point < 0x800) {
    *out++ = static_cast<char>(0xC0 | point >> 6);
    *out++ = static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | point >> 12);
    *out++ = static_cast<char>(0x80 | (point >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | point >> 18);
    *out++ = static_cast<char>(0x80 | (point >> 12 & 0x3F));
    *out++ = static_cast<char>(0x80 | (point >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (point & 0x3F));
  }
  return out;
}

// The units of a Unicode scalar value in UTF-16, written from out on;
// returns their end.
char16_t* AppendUtf16(char32_t point, char16_t* out) {
  if (point < 0x10000) {
    *out++ = static_cast<char16_t>(point);
  } else {
    *out++ = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  }
  return out;
}

constexpr unsigned char kFirstContinuation = 0x80;
constexpr unsigned char kLastContinuation = 0xBF;

// A UTF-8 lead byte: the length of its sequence and the range of the byte
// after it, narrower than the continuation bytes' where the shortest form,
// the surrogates or the end of Unicode demand it; length 0 for a byte that
// starts no sequence.
struct Utf8Lead {
  int length;
  unsigned char secondLow;
  unsigned char secondHigh;
};

Utf8Lead Utf8LeadOf(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {2, kFirstContinuation, kLastContinuation};
  if (byte == 0xE0) return {3, 0xA0, kLastContinuation};   // not below U+0800
  if (byte == 0xED) return {3, kFirstContinuation, 0x9F};  // no surrogates
  if (byte >= 0xE1 && byte <= 0xEF) return {3, kFirstContinuation, kLastContinuation};
  if (byte == 0xF0) return {4, 0x90, kLastContinuation};  // not below U+10000
  if (byte >= 0xF1 && byte <= 0xF3) return {4, kFirstContinuation, kLastContinuation};
  if (byte == 0xF4) return {4, kFirstContinuation, 0x8F};  // not above U+10FFFF
  return {0, 0, 0};  // a continuation byte, 0xC0, 0xC1, 0xF5 and above
}

}  // namespace

// One pass, one character at a time: a byte below 0x80 is the unit of its
// value, 0x80 and 0xFF are characters of their own, a lead byte and a trail
// byte are one character (every such pair is assigned). A lead byte before
// any other byte, or at the very end, is one U+FFFD, and the byte after it is
// read again.
Text DecodeCp936(std::string_view bytes) {
  Text result(bytes.size(), u'\0');  // never more units than bytes
  char16_t* out = result.data();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  size_t i = 0;
  while (i + 1 < size) {
    const unsigned char byte = in[i];
    if (byte < kFirstNonAscii) {
      *out++ = byte;
      ++i;
      continue;
    }
    const char16_t unit = PairUnit(byte, in[i + 1]);
    if (unit != 0) {
      *out++ = unit;
      i += 2;
      continue;
    }
    *out++ = HighByteAlone(byte);
    ++i;
  }
  if (i < size) *out++ = in[i] < kFirstNonAscii ? in[i] : HighByteAlone(in[i]);
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

std::string EncodeCp936(TextView text) {
  std::string result(text.size() * 2, '\0');  // at most two bytes for every code unit
  char* out = result.data();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < kFirstNonAscii) {
      *out++ = static_cast<char>(unit);
      continue;
    }
    if (IsSurrogate(unit)) {
      // A character outside the BMP, one "?" for its pair, or a lone surrogate.
      if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
      *out++ = kQuestionMark;
      continue;
    }
    const uint16_t bytes = kCp936Encoder[unit];
    if (bytes == 0) {
      *out++ = kQuestionMark;
    } else if (bytes <= 0xFF) {
      *out++ = static_cast<char>(bytes);
    } else {
      *out++ = static_cast<char>(bytes >> 8);
      *out++ = static_cast<char>(bytes & 0xFF);
    }
  }
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

std::string ToAscii(TextView text) {
  std::string result(text.size(), '?');
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] < 0x80) result[i] = static_cast<char>(text[i]);
  return result;
}

Text FromAscii(std::string_view bytes) {
  Text result(bytes.size(), u'?');
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) result[i] = byte;
  }
  return result;
}

// A lone surrogate is written as U+FFFD.
std::string ToUtf8(TextView text) {
  std::string result(text.size() * 3, '\0');  // three bytes at most for every code unit
  char* out = result.data();
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t point = text[i];
    if (IsSurrogate(text[i])) {
      if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        point = 0x10000 + ((point - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        point = kSubstitute;
      }
    }
    out = AppendUtf8(point, out);
  }
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

// Each maximal subpart of an ill-formed sequence (its longest start that some
// well-formed sequence has), or else its first byte, becomes one U+FFFD; the
// byte that cut it starts the next sequence.
Text FromUtf8(std::string_view utf8) {
  Text result(utf8.size(), u'\0');  // never more units than bytes
  char16_t* out = result.data();
  const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char byte = in[i++];
    if (byte < kFirstNonAscii) {
      *out++ = byte;
      continue;
    }
    const Utf8Lead lead = Utf8LeadOf(byte);
    char32_t point = byte & (0x7F >> lead.length);
    int read = 1;
    for (; read < lead.length && i < size; ++read, ++i) {
      const bool second = read == 1;
      if (in[i] < (second ? lead.secondLow : kFirstContinuation) ||
          in[i] > (second ? lead.secondHigh : kLastContinuation))
        break;
      point = point << 6 | (in[i] & 0x3F);
    }
    out = AppendUtf16(lead.length == 0 || read < lead.length ? kSubstitute : point, out);
  }
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

void AppendCodePoint(Text& text, char32_t point) {
  if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) point = kSubstitute;
  char16_t units[2];
  text.append(units, AppendUtf16(point, units));
}

}  // namespace velbrook
