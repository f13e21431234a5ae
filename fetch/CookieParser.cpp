#include "fetch/CookieParser.h"

#include <optional>

#include "fetch/CookieRules.h"
#include "fetch/FetchError.h"
#include "text/Ascii.h"
#include "text/ImfDate.h"
#include "text/Numbers.h"

namespace velbrook {
namespace {

using TimePoint = std::chrono::system_clock::time_point;

constexpr int64_t kNoMaxAge = -1;
constexpr int32_t kNoVersion = 0;
// How much of a refused port list entry an error message quotes.
constexpr std::size_t kMaxQuotedEntry = 32;
constexpr char kQuote = '"';

struct Attribute {
  bool present = false;
  std::string_view value;
};

// The attributes that a cookie record knows; all others are ignored.
struct Attributes {
  Attribute path, expires, domain, secure, httpOnly, maxAge, version, comment;
  Attribute commentUrl, discard, port;

  Attribute* Find(std::string_view name) {
    struct Known {
      std::string_view name;
      Attribute Attributes::*slot;
    };
    static constexpr Known kKnown[] = {{"PATH", &Attributes::path},
                                       {"EXPIRES", &Attributes::expires},
                                       {"DOMAIN", &Attributes::domain},
                                       {"SECURE", &Attributes::secure},
                                       {"HTTPONLY", &Attributes::httpOnly},
                                       {"MAX-AGE", &Attributes::maxAge},
                                       {"VERSION", &Attributes::version},
                                       {"COMMENT", &Attributes::comment},
                                       {"COMMENTURL", &Attributes::commentUrl},
                                       {"DISCARD", &Attributes::discard},
                                       {"PORT", &Attributes::port}};
    for (const Known& known : kKnown)
      if (EqualsIgnoringAsciiCase(name, known.name)) return &(this->*known.slot);
    return nullptr;
  }

  // The first of two attributes of the same name counts.
  void Add(std::string_view name, std::string_view value) {
    Attribute* slot = Find(name);
    if (slot && !slot->present) *slot = {true, value};
  }
};

// The piece of value that starts at pos and ends before the next ";".
std::string_view NextPiece(std::string_view value, std::size_t& pos) {
  const std::size_t end = std::min(value.find(';', pos), value.size());
  const std::string_view piece = value.substr(pos, end - pos);
  pos = end + 1;
  return TrimControlsAndSpaces(piece);
}

std::string_view StripOneQuotePair(std::string_view text) {
  if (text.starts_with(kQuote)) text.remove_prefix(1);
  if (text.ends_with(kQuote)) text.remove_suffix(1);
  return text;
}

// A decimal integer, optionally signed, that Int holds; fallback when the
// text does not read as one (quotes included) or lies outside Int.
template <std::signed_integral Int>
Int ReadNumber(std::string_view text, Int fallback) {
  return ReadSignedDecimal<Int>(TrimControlsAndSpaces(text)).Number().value_or(fallback);
}

// now plus seconds, as a GMT date text; held to the last second the clock knows.
std::string ExpiryAfter(TimePoint now, int64_t seconds) {
  using std::chrono::duration_cast;
  const int64_t nowSeconds =
      std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count();
  const int64_t lastSeconds =
      duration_cast<std::chrono::seconds>(TimePoint::max().time_since_epoch()).count();
  const int64_t expiry = seconds > lastSeconds - nowSeconds ? lastSeconds : nowSeconds + seconds;
  return WriteGmtDate(TimePoint(duration_cast<TimePoint::duration>(std::chrono::seconds(expiry))));
}

[[noreturn]] void ThrowBadPort(std::string_view entry) {
  std::string quoted(entry.substr(0, kMaxQuotedEntry));
  if (entry.size() > kMaxQuotedEntry) quoted += "...";
  throw FetchError(FetchFailure::CookiePortList,
                   "Set-cookie2 port list entry is not a port number: \"" + quoted + "\"");
}

uint16_t ReadPortEntry(std::string_view entry) {
  const std::optional<uint16_t> port = ReadDecimalDigits<uint16_t>(entry).Number();
  if (!port) ThrowBadPort(entry);
  return *port;
}

// The numbers of a quoted port list: "80, 8080" or "80 8080".
std::vector<uint16_t> ReadPortList(std::string_view list) {
  std::vector<uint16_t> ports;
  std::size_t pos = 0;
  while (pos < list.size()) {
    const std::size_t end = std::min(list.find_first_of(", \t", pos), list.size());
    if (end > pos) ports.push_back(ReadPortEntry(list.substr(pos, end - pos)));
    pos = end + 1;
  }
  return ports;
}

void FillSetCookie2Fields(Cookie& cookie, const Attributes& attributes) {
  cookie.commentUrl = std::string(attributes.commentUrl.value);
  cookie.discard = attributes.discard.present;
  cookie.portGiven = attributes.port.present;
  const std::string_view port = attributes.port.value;
  if (port.size() >= 2 && port.front() == kQuote && port.back() == kQuote)
    cookie.portList = ReadPortList(port.substr(1, port.size() - 2));
}

void FillFromAttributes(Cookie& cookie, const Attributes& attributes, TimePoint now) {
  const std::string_view path = attributes.path.value;
  cookie.path = path.empty() ? "/" : std::string(StripOneQuotePair(path));
  cookie.expires = std::string(attributes.expires.value);
  const std::string_view domain = attributes.domain.value;
  cookie.domain = std::string(domain.substr(0, domain.find(':')));
  cookie.secure = attributes.secure.present;
  cookie.httpOnly = attributes.httpOnly.present;
  cookie.maxAge = ReadNumber(attributes.maxAge.value, kNoMaxAge);
  cookie.version = ReadNumber(attributes.version.value, kNoVersion);
  cookie.comment = std::string(attributes.comment.value);
  // EXPIRES outweighs MAX-AGE; a negative MAX-AGE leaves no expiry.
  if (cookie.expires.empty() && cookie.maxAge >= 0)
    cookie.expires = ExpiryAfter(now, cookie.maxAge);
  if (cookie.kind == CookieKind::SetCookie2) FillSetCookie2Fields(cookie, attributes);
}

}  // namespace

std::string_view CookieNameOf(std::string_view value) {
  const std::string_view trimmed = TrimControlsAndSpaces(value);
  std::size_t pos = 0;
  const std::string_view first = NextPiece(trimmed, pos);
  const std::size_t equals = first.find('=');
  return equals == std::string_view::npos ? std::string_view() : first.substr(0, equals);
}

Cookie ParseCookie(std::string_view value, CookieKind kind, TimePoint now) {
  Cookie cookie;
  cookie.kind = kind;
  cookie.cookieText = std::string(value);
  const std::string_view trimmed = TrimControlsAndSpaces(value);

  std::size_t pos = 0;
  const std::string_view first = NextPiece(trimmed, pos);
  if (const std::size_t equals = first.find('='); equals != std::string_view::npos) {
    cookie.name = std::string(first.substr(0, equals));
    cookie.value = std::string(first.substr(equals + 1));
  }
  Attributes attributes;
  while (pos <= trimmed.size()) {
    const std::string_view piece = NextPiece(trimmed, pos);
    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      attributes.Add(piece, {});
    } else {
      attributes.Add(piece.substr(0, equals), piece.substr(equals + 1));
    }
  }
  FillFromAttributes(cookie, attributes, now);
  return cookie;
}

std::string WriteCookieHeader(const Cookie& cookie) {
  std::string text = cookie.name + "=" + cookie.value;
  auto add = [&text](std::string_view name, std::string_view value) {
    text += "; ";
    text += name;
    text += "=";
    text += value;
  };
  auto flag = [&text](std::string_view name) {
    text += "; ";
    text += name;
  };
  // Quoted, so that the one quote pair stripped on reading leaves the path as it is.
  add("path", "\"" + cookie.path + "\"");
  if (!cookie.domain.empty()) add("domain", cookie.domain);
  if (!cookie.expires.empty()) add("expires", cookie.expires);
  if (cookie.maxAge != kNoMaxAge) add("max-age", std::to_string(cookie.maxAge));
  if (cookie.version != kNoVersion) add("version", std::to_string(cookie.version));
  if (!cookie.comment.empty()) add("comment", cookie.comment);
  if (!cookie.commentUrl.empty()) add("commenturl", cookie.commentUrl);
  if (cookie.secure) flag("secure");
  if (cookie.httpOnly) flag("httponly");
  if (cookie.discard) flag("discard");
  if (cookie.portGiven && cookie.portList.empty()) flag("port");
  if (cookie.portGiven && !cookie.portList.empty()) {
    std::string list;
    for (uint16_t port : cookie.portList) {
      if (!list.empty()) list += ",";
      list += std::to_string(port);
    }
    add("port", "\"" + list + "\"");
  }
  return text;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return true;
  }
  return false;
}

}  // namespace velbrook
