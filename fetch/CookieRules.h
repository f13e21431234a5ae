#pragma once
// The rules that decide where a cookie belongs and whether it is kept: the
// request's defaults, the acceptance tests and the domain match. Cookie
// texts are the bytes of header lines; letter case is ASCII letter case.
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/CookieStore.h"

namespace velbrook {

// Four decimal numbers from 0 to 255 separated by ".".
bool IsIPv4Address(std::string_view host);

// host with ".local" appended when it holds no ".".
std::string EffectiveHost(std::string_view host);

// The port text of a request as a number; 80 when it does not read as a
// port number (blanks around it are ignored).
uint16_t RequestPortNumber(std::string_view portText);

// Whether a host H passes the match against a cookie domain D.
bool DomainMatches(std::string_view host, std::string_view domain);

// The request whose response set a cookie.
struct CookieRequest {
  std::string host;
  std::string directoryPath;  // "/dir/", ending in "/"
  uint16_t port = 80;
};

// Fills the domain and path that the cookie's attributes left empty.
void ApplyRequestDefaults(Cookie& cookie, const CookieRequest& request);

// Whether a cookie, with its defaults applied, may be stored for the request.
bool IsAcceptable(const Cookie& cookie, const CookieRequest& request);

// Whether the port test lets a cookie go with a request to port.
bool PortAllows(const Cookie& cookie, int port);

}  // namespace velbrook
