#include "text/Encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

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

// ICU converters keep state and are not shared between threads: one each.
UConverter& Cp936Converter() {
  thread_local ConverterPtr converter = [] {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr opened(ucnv_open(kCp936Name, &status));
    if (U_FAILURE(status)) throw std::runtime_error("code page 936 converter unavailable");
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(opened.get(), "?", 1, &status);
    return opened;
  }();
  ucnv_reset(converter.get());
  return *converter;
}

}  // namespace

Text DecodeCp936(std::string_view bytes) {
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
