#include "fetch/CookieStore.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "fetch/CookieParser.h"
#include "fetch/CookieRules.h"
#include "fetch/InternetDate.h"
#include "text/Ascii.h"

namespace velbrook {
namespace {

using TimePoint = std::chrono::system_clock::time_point;

// A Set-cookie2 value outweighs the first Set-cookie value of the same
// response that has its name: that Set-cookie value is dropped.
void DropOverriddenSetCookies(std::vector<std::string>& setCookie,
                              const std::vector<std::string>& setCookie2) {
  std::unordered_map<std::string, std::deque<std::size_t>> byName;
  for (std::size_t i = 0; i < setCookie.size(); ++i)
    byName[ToLowerAscii(CookieNameOf(setCookie[i]))].push_back(i);
  std::vector<bool> dropped(setCookie.size(), false);
  for (const std::string& value : setCookie2) {
    auto found = byName.find(ToLowerAscii(CookieNameOf(value)));
    if (found == byName.end() || found->second.empty()) continue;
    dropped[found->second.front()] = true;
    found->second.pop_front();
  }
  std::vector<std::string> kept;
  kept.reserve(setCookie.size());
  for (std::size_t i = 0; i < setCookie.size(); ++i)
    if (!dropped[i]) kept.push_back(std::move(setCookie[i]));
  setCookie = std::move(kept);
}

// An expiry text that does not read as a date counts as long past. A cookie
// is expired from its expiry moment on, so that a MAX-AGE of 0, written as
// the current second, is gone at the next sweep.
bool IsExpired(const Cookie& cookie, TimePoint now) {
  if (cookie.expires.empty()) return false;
  const auto moment = ReadInternetDate(cookie.expires);
  return !moment || *moment <= now;
}

std::unordered_map<std::string, std::size_t> IndexNames(const std::vector<Cookie>& cookies) {
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < cookies.size(); ++i) index.emplace(ToLowerAscii(cookies[i].name), i);
  return index;
}

}  // namespace

CookieStore::CookieStore(Clock clock)
    : clock_(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {}

void CookieStore::StoreResponseCookies(std::vector<std::string> setCookie,
                                       std::vector<std::string> setCookie2, const std::string& host,
                                       const std::string& directoryPath, const std::string& port) {
  DropOverriddenSetCookies(setCookie, setCookie2);
  const TimePoint now = clock_();
  const CookieRequest request{host, directoryPath, RequestPortNumber(port)};
  for (const std::string& value : setCookie)
    if (value.size() <= kMaxCookieBytes)
      StoreCookie(ParseCookie(value, CookieKind::SetCookie, now), request);
  for (const std::string& value : setCookie2) {
    if (value.size() > kMaxCookieBytes) continue;
    Cookie cookie = ParseCookie(value, CookieKind::SetCookie2, now);
    cookie.receivingPort = request.port;
    StoreCookie(std::move(cookie), request);
  }
}

void CookieStore::StoreCookie(Cookie cookie, const CookieRequest& request) {
  ApplyRequestDefaults(cookie, request);
  if (!IsAcceptable(cookie, request)) return;
  // A control character in a name or value would end up in a request head.
  if (HasControlCharacter(cookie.name) || HasControlCharacter(cookie.value)) return;
  const TimePoint now = clock_();
  std::unique_lock guard(lock_);
  InsertOrReplace(std::move(cookie), now);
}

std::size_t CookieStore::EntryFor(const std::string& domain) {
  const auto [found, inserted] = domainIndex_.emplace(ToLowerAscii(domain), domains_.size());
  if (inserted) {
    domains_.push_back(CookieDomain{domain, {}});
    nameIndexes_.emplace_back();
  }
  return found->second;
}

void CookieStore::InsertOrReplace(Cookie cookie, TimePoint now) {
  const std::size_t entry = EntryFor(cookie.domain);
  std::vector<Cookie>& cookies = domains_[entry].cookies;
  NameIndex& names = nameIndexes_[entry];
  std::string key = ToLowerAscii(cookie.name);
  const auto found = names.find(key);
  if (found == names.end()) {
    if (cookies.size() >= kMaxCookiesPerDomain) {
      RemoveOldest(entry);
    } else if (count_ >= kMaxCookies) {
      RemoveOldest();
    }
    names.emplace(std::move(key), cookies.size());
    cookie.created = nextCreated_++;
    cookies.push_back(std::move(cookie));
    ++count_;
    return;
  }
  // The stored record keeps its place and kind and is read afresh from the
  // new cookie written out as a header value.
  Cookie& stored = cookies[found->second];
  const uint16_t receivingPort =
      cookie.kind == CookieKind::SetCookie2 ? cookie.receivingPort : stored.receivingPort;
  const uint64_t created = stored.created;
  stored = ParseCookie(WriteCookieHeader(cookie), stored.kind, now);
  stored.receivingPort = receivingPort;
  stored.created = created;
}

// New cookies go to the end of their entry and replaced ones keep their
// place, so an entry's first cookie is its oldest.
void CookieStore::RemoveOldest(std::size_t entry) {
  std::vector<Cookie>& cookies = domains_[entry].cookies;
  if (cookies.empty()) return;
  cookies.erase(cookies.begin());
  nameIndexes_[entry] = IndexNames(cookies);
  --count_;
}

void CookieStore::RemoveOldest() {
  std::size_t oldest = domains_.size();
  uint64_t oldestCreated = 0;
  for (std::size_t entry = 0; entry < domains_.size(); ++entry) {
    const std::vector<Cookie>& cookies = domains_[entry].cookies;
    if (cookies.empty() || (oldest < domains_.size() && cookies.front().created >= oldestCreated))
      continue;
    oldest = entry;
    oldestCreated = cookies.front().created;
  }
  if (oldest < domains_.size()) RemoveOldest(oldest);
}

void CookieStore::Sweep() {
  const TimePoint now = clock_();
  std::unique_lock guard(lock_);
  for (std::size_t entry = 0; entry < domains_.size(); ++entry) {
    std::vector<Cookie>& cookies = domains_[entry].cookies;
    const auto gone = std::remove_if(cookies.begin(), cookies.end(), [now](const Cookie& cookie) {
      return IsExpired(cookie, now);
    });
    if (gone == cookies.end()) continue;
    count_ -= static_cast<std::size_t>(cookies.end() - gone);
    cookies.erase(gone, cookies.end());
    nameIndexes_[entry] = IndexNames(cookies);
  }
}

std::vector<std::pair<std::string, std::string>> CookieStore::Select(
    const std::string& host, const std::string& directoryPath, const std::string& scheme,
    int port) {
  Sweep();
  const std::string effectiveHost = EffectiveHost(host);
  const bool secureScheme = EqualsIgnoringAsciiCase(scheme, "https");
  std::vector<std::pair<std::string, std::string>> taken;
  std::shared_lock guard(lock_);
  for (const CookieDomain& entry : domains_) {
    if (!DomainMatches(effectiveHost, entry.domain)) continue;
    for (auto cookie = entry.cookies.rbegin(); cookie != entry.cookies.rend(); ++cookie) {
      if (!PortAllows(*cookie, port)) continue;
      if (!StartsWithIgnoringAsciiCase(directoryPath, cookie->path)) continue;
      if (cookie->secure && !secureScheme) continue;
      if (cookie->value.empty()) continue;
      taken.emplace_back(cookie->name, cookie->value);
    }
  }
  // The entry created last comes first, and within an entry the store's order.
  std::reverse(taken.begin(), taken.end());
  return taken;
}

std::vector<CookieDomain> CookieStore::Snapshot() const {
  std::shared_lock guard(lock_);
  return domains_;
}

}  // namespace velbrook
