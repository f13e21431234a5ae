#include "fetch/CookieRules.h"

#include <algorithm>
#include <optional>

#include "text/Ascii.h"
#include "text/Numbers.h"

namespace velbrook {
namespace {

constexpr int kMaxIPv4Part = 255;
constexpr std::size_t kMaxIPv4PartDigits = 3;
constexpr int kIPv4Parts = 4;
constexpr uint16_t kDefaultPort = 80;
constexpr std::string_view kLocalSuffix = ".local";

// The cookie's domain without its leading ".", or the whole domain.
std::string_view WithoutLeadingDot(std::string_view domain) {
  return domain.starts_with('.') ? domain.substr(1) : domain;
}

bool IsHostName(std::string_view host) { return !IsIPv4Address(host) && !host.starts_with('.'); }

bool HasTooDeepHost(const Cookie& cookie, const CookieRequest& request) {
  const std::string_view host = request.host;
  if (!IsHostName(host) || !EndsWithIgnoringAsciiCase(host, cookie.domain)) return false;
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
  return cookie.version < 1 || (singleLabel && !EqualsIgnoringAsciiCase(domain, kLocalSuffix)) ||
         !DomainMatches(EffectiveHost(request.host), domain);
}

}  // namespace

bool IsIPv4Address(std::string_view host) {
  for (int part = 1;; ++part) {
    const std::size_t dot = host.find('.');
    const std::string_view digits = host.substr(0, dot);
    const std::optional<int> value = ReadDecimalDigits<int>(digits).Number();
    if (digits.size() > kMaxIPv4PartDigits || !value || *value > kMaxIPv4Part) return false;
    if (dot == std::string_view::npos) return part == kIPv4Parts;
    if (part == kIPv4Parts) return false;
    host.remove_prefix(dot + 1);
  }
}

std::string EffectiveHost(std::string_view host) {
  std::string effective(host);
  if (host.find('.') == std::string_view::npos) effective += kLocalSuffix;
  return effective;
}

uint16_t RequestPortNumber(std::string_view portText) {
  return ReadDecimalDigits<uint16_t>(TrimControlsAndSpaces(portText))
      .Number()
      .value_or(kDefaultPort);
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (IsIPv4Address(host)) return EqualsIgnoringAsciiCase(host, domain);
  if (host.starts_with('.')) return false;
  if (!domain.starts_with('.')) return EqualsIgnoringAsciiCase(host, domain);
  const std::string_view bare = domain.substr(1);
  if (EndsWithIgnoringAsciiCase(host, domain))
    return !bare.starts_with('.') && !IsIPv4Address(bare);
  return EqualsIgnoringAsciiCase(host, bare);
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
  if (!StartsWithIgnoringAsciiCase(request.directoryPath, cookie.path)) return false;
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
