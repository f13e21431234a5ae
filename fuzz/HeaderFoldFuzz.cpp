// Header folding on arbitrary lines (the input repeated to well past the
// unfolded limit) against a plain fold that copies the rest of the line at
// every piece: both must give the same pieces, byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/RequestHead.h"

namespace {

using velbrook::kFoldWidth;
using velbrook::kUnfoldedLineLimit;

bool IsBreak(char c) { return c == ' ' || c == '\t' || c == ','; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The rule as written: scan the piece from its start, remember the last break
// outside quotes that is not the piece's first character, end the piece after
// it once the piece has reached the fold width.
std::vector<std::string> PlainFold(std::string rest) {
  std::vector<std::string> pieces;
  while (rest.size() > kUnfoldedLineLimit) {
    bool quoted = false;
    size_t lastBreak = std::string::npos;
    size_t length = rest.size();
    for (size_t at = 0; at < rest.size(); ++at) {
      if (rest[at] == '"') quoted = !quoted;
      if (!quoted && at > 0 && IsBreak(rest[at])) lastBreak = at;
      if (at + 1 >= kFoldWidth && lastBreak != std::string::npos) {
        length = lastBreak + 1;
        break;
      }
    }
    if (length == rest.size()) break;
    std::string piece = rest.substr(0, length);
    while (!piece.empty() && IsBlank(piece.back())) piece.pop_back();
    pieces.push_back(piece);
    size_t next = length;
    while (next < rest.size() && IsBlank(rest[next])) ++next;
    rest = " " + rest.substr(next);
  }
  pieces.push_back(rest);
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view unit(reinterpret_cast<const char*>(data), size);
  // The first byte says how many times the rest is repeated.
  const size_t times = 1 + static_cast<uint8_t>(unit[0]) % 16 * (4000 / size + 1);
  std::string line;
  for (size_t i = 0; i < times; ++i) line.append(unit.substr(1));
  if (velbrook::FoldHeaderLine(line) != PlainFold(line)) std::abort();
  return 0;
}
