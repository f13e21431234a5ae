#include "fetch/CookieRules.h"

#include <algorithm>

namespace velbrook {
namespace {

constexpr int kMaxIPv4Part = 255;
constexpr std::size_t kMaxIPv4PartDigits = 3;
constexpr int kIPv4Parts = 4;
constexpr uint16_t kDefaultPort = 80;
constexpr uint32_t kMaxPort = 65535;
constexpr std::string_view kLocalSuffix = ".local";

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool SameLetters(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// The cookie's domain without its leading ".", or the whole domain.
std::string_view WithoutLeadingDot(std::string_view domain) {
  return domain.starts_with('.') ? domain.substr(1) : domain;
}

bool IsHostName(std::string_view host) { return !IsIPv4Address(host) && !host.starts_with('.'); }

bool HasTooDeepHost(const Cookie& cookie, const CookieRequest& request) {
  const std::string_view host = request.host;
  if (!IsHostName(host) || !EndsWithIgnoreCase(host, cookie.domain)) return false;
  const std::string_view front = host.substr(0, host.size() - cookie.domain.size());
  return front.find('.') != std::string_view::npos;
}

bool SetCookieDomainRefused(const Cookie& cookie, const CookieRequest& request) {
  const std::string_view domain = cookie.domain;
  return !domain.starts_with('.') ||
         WithoutLeadingDot(domain).find('.') == std::string_view::npos ||
         !DomainMatches(request.host, domain);
}

bool SetCookie2DomainRefused(const Cookie& cookie, const CookieRequest& request) {
  const std::string_view domain = cookie.domain;
  const bool singleLabel = WithoutLeadingDot(domain).find('.') == std::string_view::npos;
  return cookie.version < 1 || (singleLabel && !EqualsIgnoreCase(domain, kLocalSuffix)) ||
         !DomainMatches(EffectiveHost(request.host), domain);
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameLetters(a, b);
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameLetters(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameLetters(text.substr(text.size() - suffix.size()), suffix);
}

std::string ToUpperAscii(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), Upper);
  return result;
}

std::string ToLowerAscii(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), Lower);
  return result;
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && blank(text[start])) ++start;
  while (end > start && blank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

bool IsIPv4Address(std::string_view host) {
  int parts = 0;
  std::size_t pos = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (pos < host.size() && IsDigit(host[pos]) && digits < kMaxIPv4PartDigits + 1) {
      value = value * 10 + (host[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > kMaxIPv4PartDigits || value > kMaxIPv4Part) return false;
    ++parts;
    if (pos == host.size()) return parts == kIPv4Parts;
    if (host[pos] != '.' || parts == kIPv4Parts) return false;
    ++pos;
  }
}

std::string EffectiveHost(std::string_view host) {
  std::string effective(host);
  if (host.find('.') == std::string_view::npos) effective += kLocalSuffix;
  return effective;
}

uint16_t RequestPortNumber(std::string_view portText) {
  const std::string_view digits = TrimBlanks(portText);
  if (digits.empty()) return kDefaultPort;
  uint32_t value = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return kDefaultPort;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > kMaxPort) return kDefaultPort;
  }
  return static_cast<uint16_t>(value);
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (IsIPv4Address(host)) return EqualsIgnoreCase(host, domain);
  if (host.starts_with('.')) return false;
  if (!domain.starts_with('.')) return EqualsIgnoreCase(host, domain);
  const std::string_view bare = domain.substr(1);
  if (EndsWithIgnoreCase(host, domain)) return !bare.starts_with('.') && !IsIPv4Address(bare);
  return EqualsIgnoreCase(host, bare);
}

void ApplyRequestDefaults(Cookie& cookie, const CookieRequest& request) {
  const bool version2 = cookie.kind == CookieKind::SetCookie2;
  if (cookie.domain.empty()) {
    cookie.domain = "." + (version2 ? EffectiveHost(request.host) : request.host);
  } else if (version2 && !cookie.domain.starts_with('.')) {
    cookie.domain.insert(0, 1, '.');
  }
  if (cookie.path.empty()) {
    std::string_view directory = request.directoryPath;
    if (directory.ends_with('/')) directory.remove_suffix(1);
    cookie.path = std::string(directory);
  }
}

bool IsAcceptable(const Cookie& cookie, const CookieRequest& request) {
  if (!StartsWithIgnoreCase(request.directoryPath, cookie.path)) return false;
  const bool version2 = cookie.kind == CookieKind::SetCookie2;
  if (!version2 && SetCookieDomainRefused(cookie, request)) return false;
  if (version2 && SetCookie2DomainRefused(cookie, request)) return false;
  if (HasTooDeepHost(cookie, request)) return false;
  return PortAllows(cookie, request.port);
}

bool PortAllows(const Cookie& cookie, int port) {
  if (cookie.kind != CookieKind::SetCookie2 || !cookie.portGiven) return true;
  if (cookie.portList.empty()) return port == cookie.receivingPort;
  return std::find(cookie.portList.begin(), cookie.portList.end(), port) != cookie.portList.end();
}

}  // namespace velbrook
