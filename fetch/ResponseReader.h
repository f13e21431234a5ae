#pragma once
// Reading one response from a connection: lines, the header block and the
// body by its framing. Every wait for bytes is bounded by the read time-out.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fetch/Connection.h"
#include "fetch/Messages.h"

namespace velbrook {

// At most this many bytes may precede a line's line feed.
inline constexpr size_t kMaxLineBytes = 16384;
// Header lines taken into the response record.
inline constexpr size_t kMaxHeaderLines = 255;
// Lines past those that are read and dropped, to keep the stream in step,
// before the header block is refused as too long.
inline constexpr size_t kMaxDiscardedHeaderLines = 4096;
// The body buffer reserves at most this much up front for an announced length.
inline constexpr size_t kMaxBodyReserve = size_t{64} << 20;
// The largest body a fetch takes in, far beyond any forum page. A page body
// that passes it, or whose length or chunk is announced past it, fails at
// once as OutOfMemory; a failing response's body is drained no further.
inline constexpr size_t kMaxBodyBytes = size_t{256} << 20;
// How long a response that may have no body is given to show one.
inline constexpr int kBodyGraceMs = 100;

// Where body bytes go: a buffer, or nowhere (the scratch of a failing
// response). Either way it counts them and throws FetchError(OutOfMemory)
// rather than take more than kMaxBodyBytes.
class BodySink {
 public:
  explicit BodySink(std::string* target) : target_(target) {}
  // Makes room for count more bytes (an announced length or one chunk):
  // throws when they would pass the bound; reserves up to kMaxBodyReserve.
  void Announce(int64_t count);
  void Append(std::string_view bytes);
  // Receives one piece of at most maxBytes of the body from connection, which
  // holds nothing buffered: straight into the target, sparing a copy. Returns
  // the bytes taken, 0 when the peer closed first.
  size_t ReceiveFrom(Connection& connection, size_t maxBytes, int timeoutMs);

 private:
  std::string* target_;
  size_t taken_ = 0;
};

class ResponseReader {
 public:
  ResponseReader(Connection& connection, int readTimeoutMs)
      : connection_(connection), timeoutMs_(readTimeoutMs) {}

  // One line without its LF (and one CR before it); nothing when the peer
  // closed first, with the unfinished bytes in *partial when given.
  // Throws LineTooLong past kMaxLineBytes.
  std::optional<std::string> ReadLine(std::string* partial = nullptr);
  // The status line and the header block into response (fields filled).
  // Throws ConnectionClosed when the peer closes before a status line, and
  // LineTooLong past kMaxDiscardedHeaderLines dropped lines.
  void ReadHead(Response& response);
  // The body by the response's framing. withGrace: a body without chunks may
  // be absent, which a wait of kBodyGraceMs decides.
  void ReadBody(const Response& response, BodySink& sink, bool withGrace);

 private:
  std::string ReadRequiredLine(const char* what);
  void ReadChunked(BodySink& sink);
  // Exactly count bytes; false when the peer closed before they all came.
  bool ReadExactly(int64_t count, BodySink& sink);
  void ReadUntilClose(BodySink& sink);
  // Whether a byte arrives within the grace period.
  bool BodyBytesAppear();

  Connection& connection_;
  int timeoutMs_;
};

// The bytes above 127 of a received line as "?" (the US-ASCII reading).
std::string AsciiLine(std::string_view bytes);

}  // namespace velbrook
