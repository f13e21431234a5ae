#include "fetch/RequestHead.h"

#include "fetch/FetchError.h"

namespace velbrook {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCookie2Value = "$Version=\"1\"";

bool IsFoldBreak(char c) { return c == ' ' || c == '\t' || c == ',' ; }
bool IsFoldBlank(char c) { return c == ' ' || c == '\t'; }

// The length of the first piece of a line that is to be folded, or
// line.size() when the line has no place to break.
size_t FirstPieceLength(std::string_view line) {
  bool quoted = false;
  size_t lastBreak = std::string_view::npos;
  for (size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') quoted = !quoted;
    if (!quoted && at > 0 && IsFoldBreak(c)) lastBreak = at;
    if (at + 1 >= kFoldWidth && lastBreak != std::string_view::npos) return lastBreak + 1;
  }
  return line.size();
}

// A header value may hold a tab, which HTTP allows between its characters
// and the cookie store keeps; any other control character could end the
// line early.
void RequireSafeFieldValue(std::string_view value, std::string_view name) {
  for (char c : value)
    if (c != '\t' && IsUnsafeInHead(std::string_view(&c, 1)))
      throw FetchError(FetchFailure::UnsafeRequest,
                       "control character in the request's " + std::string(name));
}

void AppendHeader(std::string& head, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  RequireSafeFieldValue(value, name);
  const std::string line = std::string(name) + ": " + std::string(value);
  for (const std::string& piece : FoldHeaderLine(line)) {
    head += piece;
    head += kLineEnd;
  }
}

}  // namespace

bool IsUnsafeInHead(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

void RequireNoControlCharacter(std::string_view text, std::string_view what) {
  if (IsUnsafeInHead(text))
    throw FetchError(FetchFailure::UnsafeRequest,
                     "control character in the request's " + std::string(what));
}

std::vector<std::string> FoldHeaderLine(std::string_view line) {
  std::vector<std::string> pieces;
  std::string rest(line);
  while (rest.size() > kUnfoldedLineLimit) {
    const size_t length = FirstPieceLength(rest);
    if (length == rest.size()) break;
    std::string piece = rest.substr(0, length);
    while (!piece.empty() && IsFoldBlank(piece.back())) piece.pop_back();
    pieces.push_back(std::move(piece));
    size_t next = length;
    while (next < rest.size() && IsFoldBlank(rest[next])) ++next;
    rest = " " + rest.substr(next);
  }
  pieces.push_back(std::move(rest));
  return pieces;
}

std::string JoinCookies(const std::vector<std::pair<std::string, std::string>>& cookies) {
  std::string list;
  for (const auto& [name, value] : cookies) {
    if (!list.empty()) list += "; ";
    list += name + "=" + value;
  }
  return list;
}

std::string BuildRequestHead(std::string_view target, std::string_view host,
                             const RequestSettings& settings, std::string_view cookieList) {
  RequireNoControlCharacter(target, "target");
  std::string head = "GET " + std::string(target) + " HTTP/1.1";
  head += kLineEnd;
  AppendHeader(head, "Content-Type", settings.contentType);
  AppendHeader(head, "Host", host);
  AppendHeader(head, "Accept", settings.accept);
  AppendHeader(head, "Accept-Encoding", settings.acceptEncoding);
  AppendHeader(head, "Accept-Language", settings.acceptLanguage);
  AppendHeader(head, "User-Agent", settings.userAgent);
  AppendHeader(head, "Cookie", cookieList);
  if (!cookieList.empty()) AppendHeader(head, "Cookie2", kCookie2Value);
  head += kLineEnd;
  return head;
}

}  // namespace velbrook
