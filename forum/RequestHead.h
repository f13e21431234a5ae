#pragma once
// The forum's reading of one HTTP request head. Whatever a client sends is
// judged here, within fixed bounds, before the forum looks at any of it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velbrook {

// A request line longer than this, its ending not counted, is refused (414)
// and the connection closed.
inline constexpr std::size_t kMaxRequestLineBytes = 8192;
// A request head longer than this is refused (431) and the connection closed.
inline constexpr std::size_t kMaxRequestHeadBytes = 16384;
// More header lines than this are refused (400) and the connection closed.
inline constexpr std::size_t kMaxRequestHeaderLines = 100;

struct RequestHead {
  std::string method;
  std::string target;
  std::string version;  // "HTTP/1.1"
  std::vector<std::string> headerLines;

  // The value of the first header line named name (ignoring case), trimmed.
  std::optional<std::string> Field(std::string_view name) const;
  // The values of every header line named name, trimmed, in order.
  std::vector<std::string> Fields(std::string_view name) const;
  // The request target without its query: what names the page. Of an
  // absolute-form target ("http://host/path") only the path counts.
  std::string Path() const;
  // Whether the target may name a page of host, listening on port: an
  // origin-form target ("/path") may; an absolute-form one only with the
  // scheme "http" and host (ignoring case), without a port or with 80 or port.
  bool TargetMayName(std::string_view host, uint16_t port) const;
  bool Http10() const { return version == "HTTP/1.0"; }
  // RFC 9112 section 3.2: every request but an HTTP/1.0 one carries exactly
  // one Host line.
  bool HostWellGiven() const;
  // The connection stays open after the answer (HTTP/1.1 unless the
  // Connection field names "close"; HTTP/1.0 only when it names
  // "keep-alive"). Its values are comma-separated options, any letter case.
  bool KeepAlive() const;
  // The value of cookie name in the Cookie header, if it came.
  std::optional<std::string> Cookie(std::string_view name) const;
};

// The length of the head at the start of buffer, its blank line included,
// or 0 while the blank line has not arrived. A blank line is CR LF CR LF or
// LF LF.
std::size_t RequestHeadLength(std::string_view buffer);

// The request line at the start of buffer is longer than kMaxRequestLineBytes,
// whether its ending has arrived or not.
bool RequestLineTooLong(std::string_view buffer);

// Parses head (as cut off by RequestHeadLength). Returns nothing for a head
// that is not a well-formed request: a bad request line, a control character
// in the target, a header line without a name, too many lines.
std::optional<RequestHead> ParseRequestHead(std::string_view head);

}  // namespace velbrook
