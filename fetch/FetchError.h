#pragma once
// The ways a page fetch fails. Every failure of fetch/ is a FetchError of one
// kind; the extraction run lets it end the job.
#include <stdexcept>
#include <string>

namespace velbrook {

enum class FetchFailure {
  UnrecognisedScheme,  // no port in the address and none from an earlier request
  NoSecureTransport,   // https: there is no TLS
  InvalidPort,         // a port number outside 1 to 65535
  SocketError,         // lookup, connect, send or receive failed; code() is errno / EAI_*
  ProtocolError,       // the status decision refused the response; code() is the status
  ReadTimeout,         // one wait for incoming bytes outlasted the read time-out
  ConnectionClosed,    // the peer closed before the response was complete
  LineTooLong,         // more than 16384 bytes before a line feed, or a header block too long
  OutOfMemory,         // the body does not fit in memory
  UnsafeRequest,       // a request target or header value holds a control character
  CookiePortList,      // a Set-cookie2 port list entry that is not a number from 0 to 65535
  Aborted,             // the client was aborted because its window is going away
};

class FetchError : public std::runtime_error {
 public:
  FetchError(FetchFailure failure, const std::string& message, int code = 0)
      : std::runtime_error(message), failure_(failure), code_(code) {}
  FetchFailure failure() const { return failure_; }
  // The platform's error code for SocketError, the status code for ProtocolError.
  int code() const { return code_; }

 private:
  FetchFailure failure_;
  int code_;
};

}  // namespace velbrook
