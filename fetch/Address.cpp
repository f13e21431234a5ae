#include "fetch/Address.h"

#include <algorithm>
#include <tuple>

#include "fetch/FetchError.h"
#include "text/Ascii.h"
#include "text/Encoding.h"
#include "text/Numbers.h"

namespace velbrook {
namespace {

constexpr TextView kSchemeSeparator = u"://";
constexpr uint16_t kHttpPort = 80;
constexpr int64_t kHighestPort = 65535;

// Units above 0x7F read as "?", which no scheme name holds.
bool IsScheme(TextView scheme, std::string_view name) {
  return EqualsIgnoringAsciiCase(ToAscii(scheme), name);
}

// text up to the first separator (all of it when there is none) and the rest after it.
std::pair<Text, Text> SplitAtFirst(TextView text, char16_t separator) {
  const size_t at = text.find(separator);
  if (at == TextView::npos) return {Text(text), Text()};
  return {Text(text.substr(0, at)), Text(text.substr(at + 1))};
}

}  // namespace

Address ParseAddress(TextView address) {
  Text text(address);
  std::replace(text.begin(), text.end(), u'\\', u'/');

  Address parts;
  Text rest = text;
  if (const size_t at = text.find(kSchemeSeparator); at != Text::npos) {
    parts.scheme = text.substr(0, at);
    rest = text.substr(at + kSchemeSeparator.size());
  }
  if (const size_t at = rest.find(u'?'); at != Text::npos) {
    parts.query = rest.substr(at + 1);
    rest.resize(at);
  }
  auto [authority, remaining] = SplitAtFirst(rest, u'/');
  if (const size_t at = authority.find(u'@'); at != Text::npos) {
    std::tie(parts.userName, parts.password) =
        SplitAtFirst(TextView(authority).substr(0, at), u':');
    authority.erase(0, at + 1);
  }
  std::tie(parts.host, parts.port) = SplitAtFirst(authority, u':');

  if (const size_t at = remaining.rfind(u'/'); at == Text::npos) {
    parts.directoryPath = u"/";
    parts.document = remaining;
  } else {
    parts.directoryPath = u"/" + remaining.substr(0, at + 1);
    parts.document = remaining.substr(at + 1);
  }
  if (const size_t at = parts.document.find(u'#'); at != Text::npos) parts.document.resize(at);
  return parts;
}

void MergeAddress(Address& current, const Address& parsed) {
  if (!parsed.host.empty()) current.host = parsed.host;
  if (!parsed.scheme.empty())
    current.scheme = parsed.scheme;
  else
    current.scheme = IsScheme(current.scheme, "https") ? u"https" : u"http";
  if (!parsed.port.empty())
    current.port = parsed.port;
  else if (IsScheme(current.scheme, "http"))
    current.port = u"80";
  else if (IsScheme(current.scheme, "https"))
    current.port = u"443";
  if (!parsed.directoryPath.empty() && parsed.directoryPath.front() == u'/')
    current.directoryPath = parsed.directoryPath;
  current.document = parsed.document;
  current.query = parsed.query;
  current.userName = parsed.userName;
  current.password = parsed.password;
  if (current.port.empty())
    throw FetchError(FetchFailure::UnrecognisedScheme,
                     "unrecognised scheme \"" + ToAscii(current.scheme) + "\" and no port");
}

Text RequestTarget(const Address& address) {
  Text target = address.directoryPath + address.document;
  if (!address.query.empty()) target += u"?" + address.query;
  return target;
}

Text HostHeaderValue(const Address& address) {
  if (address.port == u"80") return address.host;
  return address.host + u":" + address.port;
}

uint16_t PortNumber(TextView portText) {
  // Units above 0x7F read as "?", which is no digit.
  const NumberReading<int64_t> number = ReadSignedDecimal<int64_t>(ToAscii(TrimView(portText)));
  if (number.status == NumberStatus::NotANumber) return kHttpPort;
  // A number too large for int64_t is outside the range too.
  if (number.status == NumberStatus::Overflow || number.value < 1 || number.value > kHighestPort)
    throw FetchError(FetchFailure::InvalidPort, "invalid port " + ToAscii(portText));
  return static_cast<uint16_t>(number.value);
}

}  // namespace velbrook
