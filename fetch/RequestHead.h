#pragma once
// The head of a GET request as it goes on the wire: the request line, the
// fixed headers in their order, long header lines folded, CR LF line ends.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fetch/Messages.h"

namespace velbrook {

// Header lines of at most this many characters are never folded.
inline constexpr size_t kUnfoldedLineLimit = 1025;
// A folded piece ends at a break after it has reached this many characters.
inline constexpr size_t kFoldWidth = 1024;

// Whether text holds a control character (0x00-0x1F or 0x7F), which could
// start a line of its own in the head.
bool IsUnsafeInHead(std::string_view text);
// Throws FetchError(UnsafeRequest) naming what when text has a control character.
void RequireNoControlCharacter(std::string_view text, std::string_view what);

// The line (name, ": ", value) as the pieces that go on the wire, each
// without its CR LF; a continuation piece begins with one space.
std::vector<std::string> FoldHeaderLine(std::string_view line);

// "name=value" of every cookie joined by "; ".
std::string JoinCookies(const std::vector<std::pair<std::string, std::string>>& cookies);

// The whole head, ending with the empty line. Every value must already be
// US-ASCII; throws FetchError(UnsafeRequest) for a control character in the
// target or for one other than a tab in a header value.
std::string BuildRequestHead(std::string_view target, std::string_view host,
                             const RequestSettings& settings, std::string_view cookieList);

}  // namespace velbrook
