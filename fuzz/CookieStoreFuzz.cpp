// The cookie store fed Set-cookie and Set-cookie2 values for arbitrary
// requests. Input: a request host line, a directory path line, a port line,
// then one value per line ("2:" in front: a Set-cookie2 value).
// Properties: a cookie that a fresh store accepted, that has a value, has not
// expired and passes its own port test is selected for the very request that
// set it; a selection only ever holds cookies that are in the store.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fetch/CookieRules.h"
#include "fetch/CookieStore.h"
#include "fetch/FetchError.h"
#include "fetch/InternetDate.h"

namespace {

using velbrook::Cookie;
using velbrook::CookieStore;
using velbrook::FetchError;
using TimePoint = std::chrono::system_clock::time_point;
using Selection = std::vector<std::pair<std::string, std::string>>;

// A fixed "now", so that a run can be repeated: 2026-12-09 12:00:00 UTC.
const TimePoint kNow = TimePoint(std::chrono::seconds(1796817600));

void Require(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (;;) {
    const size_t feed = text.find('\n');
    lines.emplace_back(text.substr(0, feed));
    if (feed == std::string_view::npos) return lines;
    text.remove_prefix(feed + 1);
  }
}

// The request's directory path as the client gives it: "/" ... "/".
std::string DirectoryPath(std::string path) {
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  return path.substr(0, path.rfind('/') + 1);
}

bool Expired(const Cookie& cookie) {
  if (cookie.expires.empty()) return false;
  const auto moment = velbrook::ReadInternetDate(cookie.expires);
  return !moment || *moment <= kNow;
}

bool Holds(const Selection& selection, const Cookie& cookie) {
  return std::find(selection.begin(), selection.end(), std::make_pair(cookie.name, cookie.value)) !=
         selection.end();
}

struct Request {
  std::string host;
  std::string path;
  std::string port;
};

void Store(CookieStore& store, const Request& request, const std::string& value) {
  std::vector<std::string> setCookie, setCookie2;
  if (value.rfind("2:", 0) == 0)
    setCookie2.push_back(value.substr(2));
  else
    setCookie.push_back(value);
  try {
    store.StoreResponseCookies(setCookie, setCookie2, request.host, request.path, request.port);
  } catch (const FetchError& error) {
    Require(error.failure() == velbrook::FetchFailure::CookiePortList);
  }
}

Selection SelectFor(CookieStore& store, const Request& request) {
  return store.Select(request.host, request.path, "https",
                      velbrook::RequestPortNumber(request.port));
}

// One value into a store of its own: accepted means selected.
void CheckAcceptedIsSelected(const Request& request, const std::string& value) {
  CookieStore store([] { return kNow; });
  Store(store, request, value);
  const std::vector<velbrook::CookieDomain> stored = store.Snapshot();
  const Selection selection = SelectFor(store, request);
  for (const velbrook::CookieDomain& entry : stored)
    for (const Cookie& cookie : entry.cookies)
      if (!cookie.value.empty() && !Expired(cookie) &&
          velbrook::PortAllows(cookie, velbrook::RequestPortNumber(request.port)))
        Require(Holds(selection, cookie));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  std::vector<std::string> lines = Lines({reinterpret_cast<const char*>(data), size});
  while (lines.size() < 3) lines.emplace_back();
  const Request request{lines[0], DirectoryPath(lines[1]), lines[2]};

  CookieStore shared([] { return kNow; });
  for (size_t at = 3; at < lines.size(); ++at) {
    CheckAcceptedIsSelected(request, lines[at]);
    Store(shared, request, lines[at]);
  }
  const Selection selection = SelectFor(shared, request);
  const std::vector<velbrook::CookieDomain> stored = shared.Snapshot();
  for (const std::pair<std::string, std::string>& taken : selection) {
    Require(!taken.second.empty());
    Require(std::any_of(stored.begin(), stored.end(), [&](const velbrook::CookieDomain& entry) {
      return std::any_of(entry.cookies.begin(), entry.cookies.end(), [&](const Cookie& cookie) {
        return cookie.name == taken.first && cookie.value == taken.second;
      });
    }));
  }
  return 0;
}
