#include "text/Progress.h"

namespace velbrook {
namespace {

constexpr long double kPercent = 100.0L;

}  // namespace

Text ProgressPercent(int32_t done, int32_t total) {
  // Two steps in long double: a double, or the product done*100 first, gives
  // a different last digit for some pages (23 of 160 must read 14.38).
  const long double quotient = static_cast<long double>(done) / static_cast<long double>(total);
  return FormatFixed(quotient * kPercent);
}

Text ProgressText(int32_t done, int32_t total) {
  return u"当前进度:" + ProgressPercent(done, total) + u"%,(" + DecimalDigits(done) + u"/" +
         DecimalDigits(total) + u")";
}

}  // namespace velbrook
