#include "text/Encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace velbrook {
namespace {

// The converter that matches the Windows code page 936 tables.
constexpr const char* kCp936Name = "windows-936-2000";

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Every character that the code page cannot hold, a lone surrogate and a
// character outside the BMP (one call for its pair) among them, becomes one
// "?". ICU's own substitute callback would drop the default-ignorable ones
// (zero-width space, soft hyphen, variation selectors, ...) without a trace.
void QuestionMarkForEachCharacter(const void* /*context*/, UConverterFromUnicodeArgs* args,
                                  const UChar* /*codeUnits*/, int32_t /*length*/,
                                  UChar32 /*codePoint*/, UConverterCallbackReason reason,
                                  UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, "?", 1, 0, status);
}

// ICU converters keep state and are not shared between threads: one each.
UConverter& Cp936Converter() {
  thread_local ConverterPtr converter = [] {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr opened(ucnv_open(kCp936Name, &status));
    if (U_FAILURE(status)) throw std::runtime_error("code page 936 converter unavailable");
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(opened.get(), "?", 1, &status);
    status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(opened.get(), QuestionMarkForEachCharacter, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) throw std::runtime_error("code page 936 converter unavailable");
    return opened;
  }();
  ucnv_reset(converter.get());
  return *converter;
}

// The whole of bytes through ICU's converter in one call.
Text DecodeWithIcu(std::string_view bytes) {
  Text result;
  if (bytes.empty()) return result;
  UConverter& converter = Cp936Converter();
  // Every byte gives at most one UTF-16 code unit in this code page.
  result.resize(bytes.size());
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = ucnv_toUChars(&converter, result.data(), static_cast<int32_t>(result.size()),
                                 bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    result.resize(length);
    status = U_ZERO_ERROR;
    ucnv_reset(&converter);
    length = ucnv_toUChars(&converter, result.data(), length, bytes.data(),
                           static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
    throw std::runtime_error("code page 936 decoding failed");
  result.resize(length);
  return result;
}

// --- The fast path of the decoding. ---
// Page bodies are ASCII markup and double-byte characters almost throughout.
// Those two kinds are looked up in tables taken from ICU's own converter;
// every other byte sequence (a lead byte without a valid trail, an unassigned
// pair, a single byte above 0x7F, a lead byte at the very end) goes to ICU as
// it is, so the result is ICU's one-pass conversion to the unit.
//
// Such a sequence is cut at the next byte below 0x40. No such byte can be a
// trail byte, and ICU never takes one into the sequence of a lead byte before
// it, so a character starts there in ICU's own reading as well.
constexpr unsigned char kFirstNonTrailEnd = 0x40;  // bytes below it are never trail bytes
constexpr unsigned char kFirstHighByte = 0x80;
constexpr char16_t kNoCharacter = 0;  // a pair that the fast path leaves to ICU

struct Cp936Tables {
  // pairs[lead << 8 | trail]: the one code unit of a mapped pair, else kNoCharacter.
  std::unique_ptr<char16_t[]> pairs = std::make_unique<char16_t[]>(0x10000);
  // Whether every byte below 0x80 is the code unit of the same value.
  bool asciiIsIdentity = true;
};

const Cp936Tables& Tables() {
  static const Cp936Tables tables = [] {
    Cp936Tables built;
    for (unsigned byte = 0; byte < kFirstHighByte; ++byte) {
      const char single = static_cast<char>(byte);
      const Text unit = DecodeWithIcu(std::string_view(&single, 1));
      if (unit.size() != 1 || unit[0] != byte) built.asciiIsIdentity = false;
    }
    for (unsigned lead = kFirstHighByte; lead <= 0xFF; ++lead) {
      for (unsigned trail = kFirstNonTrailEnd; trail <= 0xFF; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        const Text unit = DecodeWithIcu(std::string_view(pair, 2));
        // One unit that is no substitute: ICU read the two bytes as one character.
        if (unit.size() == 1 && unit[0] != 0xFFFD && unit[0] != kNoCharacter)
          built.pairs[lead << 8 | trail] = unit[0];
      }
    }
    return built;
  }();
  return tables;
}

// Where the sequence that the fast path could not read, starting at from, ends.
size_t IrregularEnd(std::string_view bytes, size_t from) {
  size_t end = from + 1;
  while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= kFirstNonTrailEnd) ++end;
  return end;
}

}  // namespace

Text DecodeCp936(std::string_view bytes) {
  const Cp936Tables& tables = Tables();
  if (!tables.asciiIsIdentity) return DecodeWithIcu(bytes);
  Text result(bytes.size(), u'\0');  // never more units than bytes
  char16_t* out = result.data();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char byte = in[i];
    if (byte < kFirstHighByte) {
      *out++ = byte;
      ++i;
      continue;
    }
    if (i + 1 < size) {
      const char16_t unit = tables.pairs[static_cast<size_t>(byte) << 8 | in[i + 1]];
      if (unit != kNoCharacter) {
        *out++ = unit;
        i += 2;
        continue;
      }
    }
    const size_t end = IrregularEnd(bytes, i);
    const Text read = DecodeWithIcu(bytes.substr(i, end - i));
    out = std::copy(read.begin(), read.end(), out);
    i = end;
  }
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

std::string EncodeCp936(TextView text) {
  std::string result;
  if (text.empty()) return result;
  UConverter& converter = Cp936Converter();
  // At most two bytes for every code unit.
  result.resize(text.size() * 2);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = ucnv_fromUChars(&converter, result.data(), static_cast<int32_t>(result.size()),
                                   text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
    throw std::runtime_error("code page 936 encoding failed");
  result.resize(length);
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

std::string ToUtf8(TextView text) {
  std::string result(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                     static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
    throw std::runtime_error("UTF-8 conversion failed");
  result.resize(length);
  return result;
}

Text FromUtf8(std::string_view utf8) {
  Text result(utf8.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
    throw std::runtime_error("UTF-8 conversion failed");
  result.resize(length);
  return result;
}

}  // namespace velbrook
