#include "fetch/RequestHead.h"

#include "fetch/FetchError.h"

namespace velbrook {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCookie2Value = "$Version=\"1\"";

bool IsFoldBreak(char c) { return c == ' ' || c == '\t' || c == ','; }
bool IsFoldBlank(char c) { return c == ' ' || c == '\t'; }

// The length of the first piece of a line that is to be folded, or
// lead + rest.size() when the line has no place to break. The line is rest
// after lead blanks (1 for a continuation, whose first character is the
// space that starts it, 0 for the first piece); positions count from the
// line's start. Only the piece itself is scanned, so folding a whole line
// looks at each character once.
size_t FirstPieceLength(std::string_view rest, size_t lead) {
  bool quoted = false;
  size_t lastBreak = std::string_view::npos;
  for (size_t i = 0; i < rest.size(); ++i) {
    const size_t at = lead + i;
    const char c = rest[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && at > 0 && IsFoldBreak(c)) lastBreak = at;
    if (at + 1 >= kFoldWidth && lastBreak != std::string_view::npos) return lastBreak + 1;
  }
  return lead + rest.size();
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
  // The line still to fold is a space (after the first piece) and then rest.
  std::string_view rest = line;
  size_t lead = 0;
  while (lead + rest.size() > kUnfoldedLineLimit) {
    const size_t length = FirstPieceLength(rest, lead);
    if (length == lead + rest.size()) break;
    std::string piece(lead, ' ');
    piece.append(rest.substr(0, length - lead));
    while (!piece.empty() && IsFoldBlank(piece.back())) piece.pop_back();
    pieces.push_back(std::move(piece));
    rest.remove_prefix(length - lead);
    while (!rest.empty() && IsFoldBlank(rest.front())) rest.remove_prefix(1);
    lead = 1;
  }
  std::string last(lead, ' ');
  last.append(rest);
  pieces.push_back(std::move(last));
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
