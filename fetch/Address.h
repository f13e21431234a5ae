#pragma once
// Page addresses as the HTTP client reads them: split into parts, merged into
// the current address (so a part that a new address lacks can survive from an
// earlier one), and turned into the request target, the Host value and the
// port number.
#include <cstdint>

#include "text/MarkerText.h"

namespace velbrook {

struct Address {
  Text scheme;  // as typed, blanks and letter case kept
  Text host;
  Text port;           // port text; empty when the address names none
  Text directoryPath;  // "/" ... up to and including the last "/"
  Text document;       // without its fragment
  Text query;          // without the "?"
  Text userName;       // user information: kept, never sent
  Text password;
};

// The parts of one address text ("\" read as "/").
Address ParseAddress(TextView address);

// Merges parsed into current. Throws FetchError(UnrecognisedScheme) when no
// port can be had, after the merge (a failed fetch leaves its parts in place).
void MergeAddress(Address& current, const Address& parsed);

// Directory path, document and, for a non-empty query, "?" and the query.
Text RequestTarget(const Address& address);
// The host, plus ":" and the port text unless that is exactly "80".
Text HostHeaderValue(const Address& address);
// The port text without surrounding blanks as a decimal number, 80 when it is
// not one. Throws FetchError(InvalidPort) outside 1 to 65535.
uint16_t PortNumber(TextView portText);

}  // namespace velbrook
