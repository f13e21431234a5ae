#include "fetch/HeaderFields.h"

#include <optional>

#include "text/Ascii.h"
#include "text/Numbers.h"

namespace velbrook {
namespace {

bool StartsContinuation(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// The field name of a header line: the text before its first ":", exactly.
std::optional<std::string_view> FieldName(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return line.substr(0, colon);
}

// The value of the field that starts at lines[at], joined with its
// continuation lines: each piece trimmed, those left non-empty joined by one
// space.
std::string JoinedValue(const std::vector<std::string>& lines, size_t at) {
  const std::string_view first = lines[at];
  std::string value(TrimControlsAndSpaces(first.substr(first.find(':') + 1)));
  for (size_t next = at + 1; next < lines.size() && StartsContinuation(lines[next]); ++next) {
    const std::string_view piece = TrimControlsAndSpaces(lines[next]);
    if (piece.empty()) continue;
    if (!value.empty()) value += ' ';
    value += piece;
  }
  return value;
}

}  // namespace

int32_t ReadStatusCode(std::string_view statusLine) {
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return -1;
  const std::string_view rest = TrimControlsAndSpaces(statusLine.substr(blank + 1));
  return ReadSignedDecimal<int32_t>(rest.substr(0, rest.find(' '))).Number().value_or(-1);
}

int64_t ReadChunkSize(std::string_view sizeLine) {
  return ReadHexDigits<int64_t>(sizeLine.substr(0, sizeLine.find(' '))).Number().value_or(0);
}

std::vector<std::string> FieldValues(const std::vector<std::string>& lines, std::string_view name) {
  std::vector<std::string> values;
  for (size_t at = 0; at < lines.size(); ++at) {
    const std::optional<std::string_view> field = FieldName(lines[at]);
    if (field && EqualsIgnoringAsciiCase(*field, name)) values.push_back(JoinedValue(lines, at));
  }
  return values;
}

std::string FieldValue(const std::vector<std::string>& lines, std::string_view name) {
  for (size_t at = 0; at < lines.size(); ++at) {
    const std::optional<std::string_view> field = FieldName(lines[at]);
    if (field && EqualsIgnoringAsciiCase(*field, name)) return JoinedValue(lines, at);
  }
  return {};
}

void FillResponseFields(Response& response) {
  const std::vector<std::string>& lines = response.headerLines;
  const std::optional<int64_t> length =
      ReadSignedDecimal<int64_t>(FieldValue(lines, "Content-Length")).Number();
  response.contentLength = length && *length >= 0 ? *length : -1;
  response.transferEncoding = FieldValue(lines, "Transfer-Encoding");
  response.connection = FieldValue(lines, "Connection");
  response.proxyConnection = FieldValue(lines, "Proxy-Connection");
  response.location = FieldValue(lines, "Location");
  response.serverChallenges = FieldValues(lines, "WWW-Authenticate");
  response.proxyChallenges = FieldValues(lines, "Proxy-Authenticate");
}

bool AsksToClose(const Response& response) {
  return EqualsIgnoringAsciiCase(TrimControlsAndSpaces(response.connection), "close") ||
         EqualsIgnoringAsciiCase(TrimControlsAndSpaces(response.proxyConnection), "close");
}

}  // namespace velbrook
