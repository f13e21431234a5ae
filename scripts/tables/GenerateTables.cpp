// Writes the code page 936 tables and the upper-case ranges that text/ is
// built from, as ICU reads, writes and upper-cases: ICU's "windows-936-2000"
// converter set up as the program once set it up (substitute "?", one "?"
// for each character the code page cannot hold, fallbacks off) and ICU's
// simple upper-case mapping u_toupper.
//
// Before writing, it checks every rule that the program's own decoder and
// encoder take for granted against ICU, on every input those rules speak of;
// if ICU reads or writes anything another way, it says what and writes
// nothing.
//   GenerateTables OUTPUT_FOLDER
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/utf16.h>
#include <unicode/uversion.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Units = std::u16string;

constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kLastLead = 0xFE;
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kLastTrail = 0xFE;
constexpr unsigned kNotATrail = 0x7F;  // inside the trail range, yet never a trail
constexpr unsigned kLeads = kLastLead - kFirstLead + 1;
constexpr unsigned kTrailsPerLead = kLastTrail - kFirstTrail + 1;
constexpr char16_t kSubstitute = 0xFFFD;
constexpr unsigned kValuesPerLine = 16;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "generate-tables: %s\n", what.c_str());
  std::exit(1);
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string HexBytes(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) text += Hex(byte, 2) + " ";
  return text;
}

std::string HexUnits(const Units& units) {
  std::string text;
  for (char16_t unit : units) text += Hex(unit, 4) + " ";
  return text;
}

// The program's former from-Unicode callback: one "?" for each character
// that the code page cannot hold, a default-ignorable one included.
void QuestionMarkForEachCharacter(const void*, UConverterFromUnicodeArgs* args, const UChar*,
                                  int32_t, UChar32, UConverterCallbackReason reason,
                                  UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, "?", 1, 0, status);
}

class Converter {
 public:
  Converter() {
    UErrorCode status = U_ZERO_ERROR;
    converter_.reset(ucnv_open("windows-936-2000", &status));
    if (U_FAILURE(status)) Fail("ICU has no windows-936-2000 converter");
    ucnv_setSubstChars(converter_.get(), "?", 1, &status);
    ucnv_setFromUCallBack(converter_.get(), QuestionMarkForEachCharacter, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) Fail("cannot set the converter up");
    if (ucnv_usesFallback(converter_.get())) Fail("the converter uses fallbacks");
  }

  Units Decode(const std::string& bytes) {
    ucnv_reset(converter_.get());
    Units units(bytes.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_toUChars(converter_.get(), units.data(), static_cast<int32_t>(units.size()),
                      bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) Fail("decoding " + HexBytes(bytes) + "failed");
    units.resize(static_cast<size_t>(length));
    return units;
  }

  std::string Encode(const Units& units) {
    ucnv_reset(converter_.get());
    std::string bytes(units.size() * 2 + 1, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_fromUChars(converter_.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                        units.data(), static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status)) Fail("encoding " + HexUnits(units) + "failed");
    bytes.resize(static_cast<size_t>(length));
    return bytes;
  }

 private:
  struct Closer {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
  };
  std::unique_ptr<UConverter, Closer> converter_;
};

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (unsigned value : values) bytes += static_cast<char>(value);
  return bytes;
}

void Expect(const Units& read, const Units& expected, const std::string& bytes) {
  if (read != expected)
    Fail("ICU reads " + HexBytes(bytes) + "as " + HexUnits(read) + "not " + HexUnits(expected));
}

bool IsTrail(unsigned byte) {
  return byte >= kFirstTrail && byte <= kLastTrail && byte != kNotATrail;
}

struct Cp936 {
  char16_t byte80 = 0;
  char16_t byteFF = 0;
  std::array<std::array<char16_t, kTrailsPerLead>, kLeads> pairs{};
};

// What a single byte above 0x7F that leads nothing reads as.
char16_t HighSingle(Converter& icu, unsigned byte) {
  const Units read = icu.Decode(Bytes({byte}));
  if (read.size() != 1 || read[0] == kSubstitute)
    Fail("the single byte " + Hex(byte, 2) + " is no character");
  Expect(icu.Decode(Bytes({byte, 'A'})), read + u"A", Bytes({byte, 'A'}));
  return read[0];
}

// The decoder's rules, checked on every input of one and two bytes, alone
// and before an "A": a byte below 0x80 is the unit of its value; 0x80 and
// 0xFF are one character each; a lead byte with a trail byte is one character
// (every such pair is assigned); a lead byte before any other byte, or at the
// very end, is one U+FFFD and the byte after it is read again.
Cp936 ReadCp936(Converter& icu) {
  for (unsigned byte = 0; byte < 0x80; ++byte)
    Expect(icu.Decode(Bytes({byte})), Units(1, static_cast<char16_t>(byte)), Bytes({byte}));
  Cp936 table;
  table.byte80 = HighSingle(icu, 0x80);
  table.byteFF = HighSingle(icu, 0xFF);
  for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
    Expect(icu.Decode(Bytes({lead})), Units(1, kSubstitute), Bytes({lead}));
    for (unsigned next = 0; next <= 0xFF; ++next) {
      const std::string pair = Bytes({lead, next});
      const Units read = icu.Decode(pair);
      Units expected;
      if (IsTrail(next)) {
        if (read.size() != 1 || read[0] == kSubstitute || read[0] == 0 || U16_IS_SURROGATE(read[0]))
          Fail("the pair " + HexBytes(pair) + "is no character of its own: " + HexUnits(read));
        table.pairs[lead - kFirstLead][next - kFirstTrail] = read[0];
        expected = read;
      } else {
        expected = Units(1, kSubstitute) + icu.Decode(Bytes({next}));
      }
      Expect(read, expected, pair);
      Expect(icu.Decode(pair + "A"), expected + u"A", pair + "A");
    }
  }
  return table;
}

// The encoder's rules, checked on every BMP code unit and every supplementary
// code point: a character is written as the one byte sequence that decodes
// to it, and every other one, a lone surrogate too, as one "?". So ICU uses
// none of its one-way mappings from Unicode (fallbacks are off).
void CheckEncoderIsTheInverse(Converter& icu, const Cp936& table) {
  std::vector<std::string> inverse(0x10000);
  const auto held = [&](char16_t unit, std::string bytes) {
    if (!inverse[unit].empty())
      Fail(Hex(unit, 4) + " is read from " + HexBytes(inverse[unit]) + "and " + HexBytes(bytes));
    inverse[unit] = std::move(bytes);
  };
  for (unsigned byte = 0; byte < 0x80; ++byte) held(static_cast<char16_t>(byte), Bytes({byte}));
  held(table.byte80, Bytes({0x80}));
  held(table.byteFF, Bytes({0xFF}));
  for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead)
    for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail)
      if (trail != kNotATrail)
        held(table.pairs[lead - kFirstLead][trail - kFirstTrail], Bytes({lead, trail}));
  unsigned unheld = 0;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const Units alone(1, static_cast<char16_t>(unit));
    const std::string expected = inverse[unit].empty() ? "?" : inverse[unit];
    const std::string written = icu.Encode(alone);
    if (written != expected)
      Fail("ICU writes " + Hex(unit, 4) + " as " + HexBytes(written) + "not " + HexBytes(expected));
    if (icu.Encode(alone + u"A") != expected + "A") Fail("context in writing " + Hex(unit, 4));
    if (inverse[unit].empty() && !U16_IS_SURROGATE(unit)) ++unheld;
  }
  for (UChar32 point = 0x10000; point <= 0x10FFFF; ++point) {
    const Units pair = {U16_LEAD(point), U16_TRAIL(point)};
    if (icu.Encode(pair) != "?") Fail("ICU writes " + Hex(point, 6) + " as bytes");
  }
  std::fprintf(stderr, "generate-tables: %u BMP characters are written as \"?\"\n", unheld);
}

// --- Upper-casing ---

// The simple upper-case mapping of one code unit; a mapping that leaves the
// BMP or lands on a surrogate keeps the unit, so lengths never change.
char16_t UpperUnit(char16_t unit) {
  const UChar32 upper = u_toupper(unit);
  if (upper > 0xFFFF || U16_IS_SURROGATE(upper)) return unit;
  return static_cast<char16_t>(upper);
}

// Units first, first + step, ..., last map to themselves plus delta (modulo 0x10000).
struct UpperRange {
  unsigned first;
  unsigned last;
  unsigned step;
  unsigned delta;
};

unsigned Delta(unsigned unit) { return (UpperUnit(static_cast<char16_t>(unit)) - unit) & 0xFFFF; }

// The mapped units as ranges of one delta, each unit in exactly one range:
// runs of neighbours (a..z) and runs of every other unit (the Latin and
// Cyrillic pairs of capital and small letter).
std::vector<UpperRange> UpperRanges() {
  std::vector<bool> covered(0x10000, false);
  std::vector<UpperRange> ranges;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const unsigned delta = Delta(unit);
    if (delta == 0 || covered[unit]) continue;
    const auto continues = [&](unsigned next) {
      return next <= 0xFFFF && !covered[next] && Delta(next) == delta;
    };
    const unsigned step = continues(unit + 1) ? 1 : continues(unit + 2) ? 2 : 1;
    unsigned last = unit;
    covered[unit] = true;
    while (continues(last + step)) {
      last += step;
      covered[last] = true;
    }
    ranges.push_back({unit, last, step, delta});
  }
  // The ranges give back the mapping of every unit.
  std::vector<unsigned> mapped(0x10000);
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) mapped[unit] = unit;
  for (const UpperRange& range : ranges)
    for (unsigned unit = range.first; unit <= range.last; unit += range.step)
      mapped[unit] = (unit + range.delta) & 0xFFFF;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit)
    if (mapped[unit] != UpperUnit(static_cast<char16_t>(unit)))
      Fail("the upper-case ranges miss " + Hex(unit, 4));
  return ranges;
}

// --- Writing ---

std::string Heading(const std::string& what) {
  return "// " + what + "\n// Generated by scripts/generate-tables from ICU " + U_ICU_VERSION +
         "; do not edit, run it again.\n// clang-format off\n\n";
}

std::string Cp936Source(const Cp936& table) {
  std::ostringstream out;
  out << Heading("Code page 936 as ICU's windows-936-2000 converter reads it.");
  out << "// Every byte below 0x80 is the unit of its value. Above it, these two are\n"
         "// characters of their own, and every other byte leads a pair.\n"
      << "constexpr char16_t kCp936Byte80 = " << Hex(table.byte80, 4) << ";\n"
      << "constexpr char16_t kCp936ByteFF = " << Hex(table.byteFF, 4) << ";\n\n"
      << "constexpr unsigned char kCp936FirstLead = " << Hex(kFirstLead, 2) << ";\n"
      << "constexpr unsigned char kCp936LastLead = " << Hex(kLastLead, 2) << ";\n"
      << "constexpr unsigned char kCp936FirstTrail = " << Hex(kFirstTrail, 2) << ";\n"
      << "constexpr unsigned char kCp936LastTrail = " << Hex(kLastTrail, 2) << ";\n\n"
      << "// kCp936Pairs[lead - kCp936FirstLead][trail - kCp936FirstTrail]: the character\n"
         "// of the pair; 0 where the second byte is no trail ("
      << Hex(kNotATrail, 2) << "). Every other pair is a\n// character.\n"
      << "constexpr char16_t kCp936Pairs[" << kLeads << "][" << kTrailsPerLead << "] = {\n";
  for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
    out << "  { // " << Hex(lead, 2) << "\n";
    for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail) {
      if ((trail - kFirstTrail) % kValuesPerLine == 0) out << "   ";
      out << " " << Hex(table.pairs[lead - kFirstLead][trail - kFirstTrail], 4) << ",";
      if ((trail - kFirstTrail) % kValuesPerLine == kValuesPerLine - 1 || trail == kLastTrail)
        out << "\n";
    }
    out << "  },\n";
  }
  out << "};\n";
  return out.str();
}

std::string UpperSource(const std::vector<UpperRange>& ranges) {
  std::ostringstream out;
  out << Heading("The simple upper-case mapping of ICU (u_toupper) over the BMP.");
  out << "// A unit whose mapping would leave the BMP or land on a surrogate keeps its\n"
         "// value. Every other unit maps to itself but those of the ranges: first,\n"
         "// first + step, ... up to last map to themselves plus delta, modulo 0x10000.\n"
         "struct UpperCaseRange {\n"
         "  char16_t first;\n"
         "  char16_t last;\n"
         "  char16_t step;\n"
         "  char16_t delta;\n"
         "};\n\n"
      << "constexpr UpperCaseRange kUpperCaseRanges[] = {\n";
  for (const UpperRange& range : ranges)
    out << "    {" << Hex(range.first, 4) << ", " << Hex(range.last, 4) << ", " << range.step
        << ", " << Hex(range.delta, 4) << "},\n";
  out << "};\n";
  return out.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  if (!file.flush()) Fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) Fail("usage: GenerateTables OUTPUT_FOLDER");
  const std::string folder = argv[1];
  Converter icu;
  const Cp936 cp936 = ReadCp936(icu);
  CheckEncoderIsTheInverse(icu, cp936);
  const std::vector<UpperRange> ranges = UpperRanges();
  Write(folder + "/Cp936Tables.inc", Cp936Source(cp936));
  Write(folder + "/UpperCaseTable.inc", UpperSource(ranges));
  std::fprintf(stderr, "generate-tables: %zu upper-case ranges\n", ranges.size());
  return 0;
}
