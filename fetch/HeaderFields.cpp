#include "fetch/HeaderFields.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace velbrook {
namespace {

// Control characters and the blank: what trimming removes.
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool StartsContinuation(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The field name of a header line: the text before its first ":", exactly.
std::optional<std::string_view> FieldName(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return line.substr(0, colon);
}

// The value of the field that starts at lines[at], joined with its continuation lines.
std::string JoinedValue(const std::vector<std::string>& lines, size_t at) {
  std::string_view first = lines[at];
  first.remove_prefix(first.find(':') + 1);
  while (!first.empty() && (first.front() == ' ' || first.front() == '\t')) first.remove_prefix(1);
  std::string value(first);
  for (size_t next = at + 1; next < lines.size() && StartsContinuation(lines[next]); ++next)
    value = TrimBlanks(value) + " " + TrimBlanks(lines[next]);
  return TrimBlanks(value);
}

std::optional<int64_t> ReadHexNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 16;
  int64_t value = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) || value > kLimit) return std::nullopt;
    value =
        value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : Lower(c) - 'a' + 10);
  }
  return value;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

std::optional<int64_t> ReadDecimalNumber(std::string_view text) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at == text.size()) return std::nullopt;
  constexpr int64_t kLimit = (std::numeric_limits<int64_t>::max() - 9) / 10;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(text[at])) || value > kLimit) return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  return negative ? -value : value;
}

int32_t ReadStatusCode(std::string_view statusLine) {
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return -1;
  const std::string rest = TrimBlanks(statusLine.substr(blank + 1));
  const std::string_view code = std::string_view(rest).substr(0, rest.find(' '));
  const std::optional<int64_t> number = ReadDecimalNumber(code);
  if (!number || *number < std::numeric_limits<int32_t>::min() ||
      *number > std::numeric_limits<int32_t>::max())
    return -1;
  return static_cast<int32_t>(*number);
}

int64_t ReadChunkSize(std::string_view sizeLine) {
  return ReadHexNumber(sizeLine.substr(0, sizeLine.find(' '))).value_or(0);
}

std::vector<std::string> FieldValues(const std::vector<std::string>& lines, std::string_view name) {
  std::vector<std::string> values;
  for (size_t at = 0; at < lines.size(); ++at) {
    const std::optional<std::string_view> field = FieldName(lines[at]);
    if (field && EqualsIgnoringCase(*field, name)) values.push_back(JoinedValue(lines, at));
  }
  return values;
}

std::string FieldValue(const std::vector<std::string>& lines, std::string_view name) {
  for (size_t at = 0; at < lines.size(); ++at) {
    const std::optional<std::string_view> field = FieldName(lines[at]);
    if (field && EqualsIgnoringCase(*field, name)) return JoinedValue(lines, at);
  }
  return {};
}

void FillResponseFields(Response& response) {
  const std::vector<std::string>& lines = response.headerLines;
  const std::optional<int64_t> length = ReadDecimalNumber(FieldValue(lines, "Content-Length"));
  response.contentLength = length && *length >= 0 ? *length : -1;
  response.transferEncoding = FieldValue(lines, "Transfer-Encoding");
  response.connection = FieldValue(lines, "Connection");
  response.proxyConnection = FieldValue(lines, "Proxy-Connection");
  response.location = FieldValue(lines, "Location");
  response.serverChallenges = FieldValues(lines, "WWW-Authenticate");
  response.proxyChallenges = FieldValues(lines, "Proxy-Authenticate");
}

bool AsksToClose(const Response& response) {
  return EqualsIgnoringCase(TrimBlanks(response.connection), "close") ||
         EqualsIgnoringCase(TrimBlanks(response.proxyConnection), "close");
}

}  // namespace velbrook
