#include "os/SystemError.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>

#include "text/Encoding.h"

namespace velbrook {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// The system writes its texts in the encoding of the thread's locale (the C
// locale until the program sets another), so they are read back in it.
Text FromLocaleEncoding(std::string_view bytes) {
  Text text;
  std::mbstate_t state{};
  while (!bytes.empty()) {
    wchar_t unit = 0;
    const std::size_t used = std::mbrtowc(&unit, bytes.data(), bytes.size(), &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      text.push_back(kReplacement);
      bytes.remove_prefix(1);
      state = {};
      continue;
    }
    AppendCodePoint(text, static_cast<char32_t>(unit));
    bytes.remove_prefix(used == 0 ? 1 : used);  // 0: it read a U+0000
  }
  return text;
}

std::string ErrnoText(int error) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string(buffer);
}

}  // namespace

Text SystemErrorText(const std::error_code& error) {
  const bool isErrno =
      error.category() == std::system_category() || error.category() == std::generic_category();
  return FromLocaleEncoding(isErrno ? ErrnoText(error.value()) : error.message());
}

}  // namespace velbrook
