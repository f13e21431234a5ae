// Header folding on arbitrary lines (the input repeated to a length past the
// unfolded limit, up to about a dozen pieces) against a plain fold that copies the rest of the line
// at every piece: both must give the same pieces, byte for byte. And the
// other way, the input split at line feeds as a received header block: every
// field's value, continuation lines joined, against a plain join that trims
// the whole value again at every line (as the reading once did).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/HeaderFields.h"
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

std::string PlainTrim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return std::string(text);
}

std::string PlainJoin(const std::vector<std::string>& lines, size_t at) {
  std::string value = PlainTrim(std::string_view(lines[at]).substr(lines[at].find(':') + 1));
  for (size_t next = at + 1; next < lines.size() && !lines[next].empty() &&
                             (lines[next].front() == ' ' || lines[next].front() == '\t');
       ++next)
    value = PlainTrim(value) + " " + PlainTrim(lines[next]);
  return PlainTrim(value);
}

// Each line that names a field, as the first line of the rest of the block.
void CheckJoinedValues(std::string_view block) {
  std::vector<std::string> lines;
  for (size_t end = block.find('\n'); !block.empty(); end = block.find('\n')) {
    lines.emplace_back(block.substr(0, end));
    block.remove_prefix(std::min(end, block.size() - 1) + 1);
  }
  for (size_t at = 0; at < lines.size(); ++at) {
    const size_t colon = lines[at].find(':');
    if (colon == std::string::npos) continue;
    const std::vector<std::string> rest(lines.begin() + static_cast<std::ptrdiff_t>(at),
                                        lines.end());
    if (velbrook::FieldValue(rest, lines[at].substr(0, colon)) != PlainJoin(rest, 0)) std::abort();
  }
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
  CheckJoinedValues(unit);
  return 0;
}
