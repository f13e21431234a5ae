#include "forum/RequestHead.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "text/Ascii.h"

namespace velbrook {
namespace {

// Lines of head without their ending (LF, or CR LF), the blank one excluded.
std::vector<std::string_view> HeadLines(std::string_view head) {
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    const std::size_t feed = head.find('\n');
    std::string_view line = head.substr(0, feed);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    lines.push_back(line);
    if (feed == std::string_view::npos) break;
    head.remove_prefix(feed + 1);
  }
  return lines;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    const auto unit = static_cast<unsigned char>(c);
    return unit > ' ' && unit < 0x7F && c != ':';
  });
}

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto unit = static_cast<unsigned char>(c);
    return unit < ' ' || unit == 0x7F;
  });
}

// "GET /path HTTP/1.1": three parts, one space apart.
bool ReadRequestLine(std::string_view line, RequestHead& head) {
  const std::size_t first = line.find(' ');
  const std::size_t second = line.rfind(' ');
  if (first == std::string_view::npos || first == second) return false;
  head.method = line.substr(0, first);
  head.target = line.substr(first + 1, second - first - 1);
  head.version = line.substr(second + 1);
  return IsToken(head.method) && !head.target.empty() && !HasControl(head.target) &&
         head.target.find(' ') == std::string::npos && head.version.starts_with("HTTP/");
}

// An absolute-form target, "scheme://authority" and the rest (path and query).
struct AbsoluteTarget {
  std::string_view scheme;
  std::string_view authority;
  std::string_view rest;
};

std::optional<AbsoluteTarget> SplitAbsoluteTarget(std::string_view target) {
  const std::size_t mark = target.find("://");
  if (mark == std::string_view::npos || mark == 0) return std::nullopt;
  const std::string_view scheme = target.substr(0, mark);
  const auto schemeChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  };
  if (!std::isalpha(static_cast<unsigned char>(scheme.front())) ||
      !std::all_of(scheme.begin(), scheme.end(), schemeChar))
    return std::nullopt;
  const std::string_view after = target.substr(mark + 3);
  const std::size_t end = std::min(after.find_first_of("/?#"), after.size());
  return AbsoluteTarget{scheme, after.substr(0, end), after.substr(end)};
}

}  // namespace

std::optional<std::string> RequestHead::Field(std::string_view name) const {
  std::vector<std::string> values = Fields(name);
  if (values.empty()) return std::nullopt;
  return std::move(values.front());
}

std::vector<std::string> RequestHead::Fields(std::string_view name) const {
  std::vector<std::string> values;
  for (const std::string& line : headerLines) {
    const std::size_t colon = line.find(':');
    if (EqualsIgnoringAsciiCase(std::string_view(line).substr(0, colon), name))
      values.emplace_back(TrimSpacesAndTabs(std::string_view(line).substr(colon + 1)));
  }
  return values;
}

std::string RequestHead::Path() const {
  std::string_view rest = target;
  if (const std::optional<AbsoluteTarget> absolute = SplitAbsoluteTarget(target))
    rest = absolute->rest;
  const std::string path(rest.substr(0, rest.find('?')));
  return path.empty() || path.front() != '/' ? "/" + path : path;
}

bool RequestHead::TargetMayName(std::string_view host, uint16_t port) const {
  const std::optional<AbsoluteTarget> absolute = SplitAbsoluteTarget(target);
  if (!absolute) return true;
  const std::string_view authority = absolute->authority;
  const std::size_t colon = std::min(authority.rfind(':'), authority.size());
  const std::string_view portText = authority.substr(std::min(colon + 1, authority.size()));
  return EqualsIgnoringAsciiCase(absolute->scheme, "http") &&
         EqualsIgnoringAsciiCase(authority.substr(0, colon), host) &&
         (portText.empty() || portText == "80" || portText == std::to_string(port));
}

bool RequestHead::HostWellGiven() const { return Http10() || Fields("Host").size() == 1; }

bool RequestHead::KeepAlive() const {
  const auto names = [this](std::string_view option) {
    for (const std::string& value : Fields("Connection")) {
      std::string_view rest = value;
      for (;;) {
        const std::size_t comma = rest.find(',');
        if (EqualsIgnoringAsciiCase(TrimSpacesAndTabs(rest.substr(0, comma)), option)) return true;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
    }
    return false;
  };
  if (names("close")) return false;
  return !Http10() || names("keep-alive");
}

std::optional<std::string> RequestHead::Cookie(std::string_view name) const {
  const std::optional<std::string> header = Field("Cookie");
  if (!header) return std::nullopt;
  std::string_view rest = *header;
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    const std::string_view pair = TrimSpacesAndTabs(rest.substr(0, end));
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name)
      return std::string(pair.substr(equals + 1));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return std::nullopt;
}

std::size_t RequestHeadLength(std::string_view buffer) {
  for (std::size_t feed = buffer.find('\n'); feed != std::string_view::npos;
       feed = buffer.find('\n', feed + 1)) {
    if (feed + 1 < buffer.size() && buffer[feed + 1] == '\n') return feed + 2;
    if (feed + 2 < buffer.size() && buffer[feed + 1] == '\r' && buffer[feed + 2] == '\n')
      return feed + 3;
  }
  return 0;
}

bool RequestLineTooLong(std::string_view buffer) {
  std::size_t length = std::min(buffer.find('\n'), buffer.size());
  if (length > 0 && buffer[length - 1] == '\r') --length;
  return length > kMaxRequestLineBytes;
}

std::optional<RequestHead> ParseRequestHead(std::string_view head) {
  const std::vector<std::string_view> lines = HeadLines(head);
  if (lines.empty() || lines.size() > kMaxRequestHeaderLines + 1) return std::nullopt;
  RequestHead request;
  if (!ReadRequestLine(lines.front(), request)) return std::nullopt;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const bool continuation = line.front() == ' ' || line.front() == '\t';
    if (continuation) {
      if (request.headerLines.empty()) return std::nullopt;
      request.headerLines.back() += ' ';
      request.headerLines.back() += TrimSpacesAndTabs(line);
      continue;
    }
    if (!IsToken(line.substr(0, line.find(':'))) || line.find(':') == std::string_view::npos)
      return std::nullopt;
    request.headerLines.emplace_back(line);
  }
  return request;
}

}  // namespace velbrook
