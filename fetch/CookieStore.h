#pragma once
// The cookies that the forum site sets, kept in memory for the life of the
// HTTP client and sent back with every later request that they match.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velbrook {

enum class CookieKind { SetCookie, SetCookie2 };

// The store is bounded as browsers bound theirs, at the least that RFC 6265
// section 6.1 asks a store to hold. A header value longer than
// kMaxCookieBytes (name, value and attributes) is refused on arrival; a new
// cookie beyond a count bound first removes the oldest cookie (the one
// stored first; a replaced cookie keeps its age) of its domain entry, or
// of the whole store.
inline constexpr std::size_t kMaxCookieBytes = 4096;
inline constexpr std::size_t kMaxCookiesPerDomain = 50;
inline constexpr std::size_t kMaxCookies = 3000;

struct Cookie {
  CookieKind kind = CookieKind::SetCookie;
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  std::string expires;  // expiry date text; empty: never expires on its own
  bool secure = false;
  bool httpOnly = false;
  int64_t maxAge = -1;
  int32_t version = 0;
  std::string comment;
  std::string cookieText;  // the header value it was last parsed from
  // Set-cookie2 only:
  std::string commentUrl;
  bool discard = false;
  bool portGiven = false;
  std::vector<uint16_t> portList;
  uint16_t receivingPort = 80;
  // The order in which the store took the cookie in; kept on replacement.
  uint64_t created = 0;
};

struct CookieDomain {
  std::string domain;
  std::vector<Cookie> cookies;
};

struct CookieRequest;  // fetch/CookieRules.h

class CookieStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // clock: "now" for expiry; the system clock unless a test gives another.
  explicit CookieStore(Clock clock = {});

  // Stores the Set-cookie and Set-cookie2 values of one response, in header
  // order, for the request's host, directory path ("/dir/", ending in "/")
  // and port text. Refused cookies are dropped silently; a bad Set-cookie2
  // port list throws FetchError(CookiePortList).
  void StoreResponseCookies(std::vector<std::string> setCookie, std::vector<std::string> setCookie2,
                            const std::string& host, const std::string& directoryPath,
                            const std::string& port);

  // Removes every cookie whose expiry has passed (or does not read as a date).
  void Sweep();

  // The (name, value) pairs to send with a request, in sending order; sweeps first.
  std::vector<std::pair<std::string, std::string>> Select(const std::string& host,
                                                          const std::string& directoryPath,
                                                          const std::string& scheme, int port);

  // A copy of the store in its order, for inspection.
  std::vector<CookieDomain> Snapshot() const;

 private:
  // Looks a cookie up by its lower-cased name within one domain entry.
  using NameIndex = std::unordered_map<std::string, std::size_t>;

  void StoreCookie(Cookie cookie, const CookieRequest& request);
  // Both under the write lock.
  void InsertOrReplace(Cookie cookie, std::chrono::system_clock::time_point now);
  std::size_t EntryFor(const std::string& domain);
  // Removes the oldest cookie of the entry, or of the whole store.
  void RemoveOldest(std::size_t entry);
  void RemoveOldest();

  Clock clock_;
  mutable std::shared_mutex lock_;
  std::vector<CookieDomain> domains_;
  // Lower-cased domain -> position in domains_; entries are never removed.
  std::unordered_map<std::string, std::size_t> domainIndex_;
  std::vector<NameIndex> nameIndexes_;  // one for each entry of domains_
  std::size_t count_ = 0;               // cookies in all entries
  uint64_t nextCreated_ = 0;
};

}  // namespace velbrook
