#include "fetch/ResponseReader.h"

#include <algorithm>

#include "fetch/FetchError.h"
#include "fetch/HeaderFields.h"
#include "text/Ascii.h"

namespace velbrook {
namespace {

[[noreturn]] void ThrowClosed(const std::string& where) {
  throw FetchError(FetchFailure::ConnectionClosed, "connection closed " + where);
}

bool IsChunked(const Response& response) {
  return ToLowerAscii(response.transferEncoding).find("chunked") != std::string::npos;
}

}  // namespace

std::string AsciiLine(std::string_view bytes) {
  std::string line(bytes);
  for (char& c : line)
    if (static_cast<unsigned char>(c) > 0x7F) c = '?';
  return line;
}

namespace {

[[noreturn]] void ThrowPastBound() {
  throw FetchError(FetchFailure::OutOfMemory,
                   "body larger than " + std::to_string(kMaxBodyBytes) + " bytes");
}

}  // namespace

void BodySink::Announce(int64_t count) {
  if (count <= 0) return;
  if (static_cast<uint64_t>(count) > kMaxBodyBytes - taken_) ThrowPastBound();
  if (target_ != nullptr)
    target_->reserve(target_->size() + std::min(static_cast<size_t>(count), kMaxBodyReserve));
}

void BodySink::Append(std::string_view bytes) {
  if (bytes.size() > kMaxBodyBytes - taken_) ThrowPastBound();
  taken_ += bytes.size();
  if (target_ != nullptr) target_->append(bytes);
}

size_t BodySink::ReceiveFrom(Connection& connection, size_t maxBytes, int timeoutMs) {
  const size_t room = std::min(maxBytes, kMaxBodyBytes - taken_);
  if (target_ == nullptr || room == 0) {
    // Scratch, or a full buffer (where Append refuses whatever still comes).
    if (!connection.ReceivePiece(timeoutMs)) return 0;
    const std::string_view piece = connection.Buffered().substr(0, maxBytes);
    Append(piece);
    connection.Consume(piece.size());
    return piece.size();
  }
  const size_t before = target_->size();
  if (!connection.ReceivePieceInto(*target_, room, timeoutMs)) return 0;
  taken_ += target_->size() - before;
  return target_->size() - before;
}

std::optional<std::string> ResponseReader::ReadLine(std::string* partial) {
  size_t searched = 0;
  for (;;) {
    const std::string_view buffered = connection_.Buffered();
    const size_t feed = buffered.find('\n', searched);
    if (feed != std::string_view::npos) {
      if (feed > kMaxLineBytes) throw FetchError(FetchFailure::LineTooLong, "line too long");
      std::string_view line = buffered.substr(0, feed);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      std::string result(line);
      connection_.Consume(feed + 1);
      return result;
    }
    if (buffered.size() > kMaxLineBytes)
      throw FetchError(FetchFailure::LineTooLong, "line too long");
    searched = buffered.size();
    if (!connection_.ReceivePiece(timeoutMs_)) {
      if (partial != nullptr) *partial = std::string(connection_.Buffered());
      connection_.Consume(connection_.Buffered().size());
      return std::nullopt;
    }
  }
}

std::string ResponseReader::ReadRequiredLine(const char* what) {
  std::optional<std::string> line = ReadLine();
  if (!line) ThrowClosed(what);
  return *line;
}

void ResponseReader::ReadHead(Response& response) {
  Response head;
  head.statusLine = AsciiLine(ReadRequiredLine("before the status line"));
  head.statusCode = ReadStatusCode(head.statusLine);
  for (size_t discarded = 0;;) {
    std::string partial;
    std::optional<std::string> line = ReadLine(&partial);
    // A header block cut by the peer stands as read, its unfinished line included.
    if (!line) {
      if (!partial.empty() && head.headerLines.size() < kMaxHeaderLines)
        head.headerLines.push_back(AsciiLine(partial));
      break;
    }
    if (line->empty()) break;
    if (head.headerLines.size() < kMaxHeaderLines) {
      head.headerLines.push_back(AsciiLine(*line));
    } else if (++discarded > kMaxDiscardedHeaderLines) {
      throw FetchError(FetchFailure::LineTooLong, "header block too long");
    }
  }
  FillResponseFields(head);
  response = std::move(head);
}

void ResponseReader::ReadBody(const Response& response, BodySink& sink, bool withGrace) {
  if (IsChunked(response)) {
    ReadChunked(sink);
    return;
  }
  const bool lengthKnown = response.contentLength > 0;
  if (!lengthKnown && response.ContentLengthGiven()) return;  // announced as empty
  if (withGrace && !BodyBytesAppear()) return;
  if (lengthKnown) {
    sink.Announce(response.contentLength);
    ReadExactly(response.contentLength, sink);  // an early close leaves what came
  } else {
    ReadUntilClose(sink);
  }
}

void ResponseReader::ReadChunked(BodySink& sink) {
  for (;;) {
    const int64_t size = ReadChunkSize(ReadRequiredLine("within a chunk size line"));
    if (size <= 0) break;
    sink.Announce(size);
    if (!ReadExactly(size, sink)) ThrowClosed("within a chunk");
    ReadRequiredLine("after a chunk");
  }
  ReadRequiredLine("after the last chunk");
}

bool ResponseReader::ReadExactly(int64_t count, BodySink& sink) {
  while (count > 0) {
    const std::string_view buffered = connection_.Buffered();
    if (buffered.empty()) {
      // Nothing of the body waits in the buffer: the next piece goes where it belongs.
      const size_t wanted = static_cast<size_t>(std::min<int64_t>(count, kReceivePieceBytes));
      const size_t received = sink.ReceiveFrom(connection_, wanted, timeoutMs_);
      if (received == 0) return false;
      count -= static_cast<int64_t>(received);
      continue;
    }
    const size_t take = static_cast<size_t>(std::min<int64_t>(count, buffered.size()));
    sink.Append(buffered.substr(0, take));
    connection_.Consume(take);
    count -= static_cast<int64_t>(take);
  }
  return true;
}

void ResponseReader::ReadUntilClose(BodySink& sink) {
  for (;;) {
    sink.Append(connection_.Buffered());
    connection_.Consume(connection_.Buffered().size());
    if (sink.ReceiveFrom(connection_, kReceivePieceBytes, timeoutMs_) == 0) return;
  }
}

bool ResponseReader::BodyBytesAppear() {
  if (!connection_.Buffered().empty()) return true;
  try {
    return connection_.ReceivePiece(kBodyGraceMs);
  } catch (const FetchError& error) {
    if (error.failure() == FetchFailure::ReadTimeout) return false;
    throw;
  }
}

}  // namespace velbrook
