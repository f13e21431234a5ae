#include "forum/RequestHead.h"

#include <algorithm>
#include <cctype>

namespace velbrook {
namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

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

}  // namespace

std::optional<std::string> RequestHead::Field(std::string_view name) const {
  for (const std::string& line : headerLines) {
    const std::size_t colon = line.find(':');
    if (EqualIgnoringCase(std::string_view(line).substr(0, colon), name))
      return std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
  }
  return std::nullopt;
}

std::string RequestHead::Path() const { return target.substr(0, target.find('?')); }

bool RequestHead::KeepAlive() const {
  const std::string connection = Field("Connection").value_or("");
  if (EqualIgnoringCase(connection, "close")) return false;
  if (version == "HTTP/1.0") return EqualIgnoringCase(connection, "keep-alive");
  return true;
}

std::optional<std::string> RequestHead::Cookie(std::string_view name) const {
  const std::optional<std::string> header = Field("Cookie");
  if (!header) return std::nullopt;
  std::string_view rest = *header;
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    const std::string_view pair = TrimBlanks(rest.substr(0, end));
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
      request.headerLines.back() += TrimBlanks(line);
      continue;
    }
    if (!IsToken(line.substr(0, line.find(':'))) || line.find(':') == std::string_view::npos)
      return std::nullopt;
    request.headerLines.emplace_back(line);
  }
  return request;
}

}  // namespace velbrook
