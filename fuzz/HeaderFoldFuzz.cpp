// Header folding on arbitrary lines (the input repeated to a length past the
// unfolded limit, up to about a dozen pieces) against a plain fold that copies the rest of the line
// at every piece: both must give the same pieces, byte for byte.
#include <algorithm>
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
  if (size < 2) return 0;
  const std::string_view unit(reinterpret_cast<const char*>(data + 1), size - 1);
  // The first byte says how long the line is: the rest, repeated and cut there.
  const size_t length = kUnfoldedLineLimit - 200 + static_cast<size_t>(data[0] % 16) * 700;
  std::string line;
  while (line.size() < length) line.append(unit);
  line.resize(std::max(length, unit.size()));
  if (velbrook::FoldHeaderLine(line) != PlainFold(line)) std::abort();
  return 0;
}
