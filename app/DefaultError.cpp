#include "app/DefaultError.h"

#include <mutex>

#include "app/Site.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

// The window's thread is its only user, but a test's thread may set it.
std::mutex& TitleLock() {
  static std::mutex lock;
  return lock;
}
Text& TitleStore() {
  static Text title = kApplicationTitle;
  return title;
}

}  // namespace

void SetApplicationTitle(const Text& title) {
  std::lock_guard guard(TitleLock());
  TitleStore() = title;
}

Text ApplicationTitle() {
  std::lock_guard guard(TitleLock());
  return TitleStore();
}

Text DefaultErrorText(const Text& message) {
  if (!message.empty() && message.back() > u'.') return message + u".";
  return message;
}

Text FailureMessage(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& known) {
    return FromUtf8(known.what());
  } catch (...) {
    return u"Unknown failure";
  }
}

}  // namespace velbrook
