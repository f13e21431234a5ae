#include "os/DecimalSeparator.h"

#include <langinfo.h>
#include <locale.h>

#include "text/Encoding.h"
#include "text/MarkerText.h"

namespace velbrook {
namespace {

constexpr char16_t kDefaultSeparator = u'.';

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

void ReadDecimalSeparatorFromLocale() {
  // A locale object of its own rather than setlocale(): the process-wide
  // LC_NUMERIC stays as it is, and a worker formatting at the same moment is
  // not raced.
  char16_t separator = kDefaultSeparator;
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (user != static_cast<locale_t>(nullptr)) {
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    const Text decoded = (radix != nullptr) ? FromUtf8(radix) : Text();
    if (!decoded.empty() && decoded[0] != u'\uFFFD' && !IsSurrogate(decoded[0]))
      separator = decoded[0];
    freelocale(user);
  }
  SetDecimalSeparator(separator);
}

}  // namespace velbrook
