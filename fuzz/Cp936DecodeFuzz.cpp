// The code page 936 decoder of page bodies against ICU's own one-pass
// conversion with the same converter: every byte sequence, irregular ones
// and cut-off ones at the end included, must give exactly ICU's text.
#include <unicode/ucnv.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/Encoding.h"

namespace {

velbrook::Text DecodedByIcu(std::string_view bytes) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-936-2000", &status);
  if (U_FAILURE(status)) std::abort();
  velbrook::Text text(bytes.size() * 2 + 2, u'\0');
  const int32_t length = ucnv_toUChars(converter, text.data(), static_cast<int32_t>(text.size()),
                                       bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) std::abort();
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (velbrook::DecodeCp936(bytes) != DecodedByIcu(bytes)) std::abort();
  return 0;
}
