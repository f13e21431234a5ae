#include "forum/AnswerWriter.h"

#include <chrono>
#include <cstdio>

#include "text/ImfDate.h"

namespace velbrook {
namespace {

// Size of each chunk of a page that goes out chunked.
constexpr std::size_t kChunkBytes = 4096;

std::string HexSize(std::size_t size) {
  char text[24];
  std::snprintf(text, sizeof text, "%zx", size);
  return text;
}

std::string AnswerHead(const Answer& answer, const Manner& manner, std::size_t bodySize,
                       bool chunked) {
  std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
  head += "Date: " + WriteGmtDate(std::chrono::system_clock::now()) + "\r\n";
  head += "Server: velbrook-forum\r\n";
  if (answer.body) head += "Content-Type: text/html; charset=gb2312\r\n";
  if (!manner.setCookie.empty())
    head += "Set-Cookie: " + std::string(manner.setCookie) + "; path=/\r\n";
  if (answer.extraField) head += std::string(answer.extraField) + "\r\n";
  if (chunked)
    head += "Transfer-Encoding: chunked\r\n";
  else
    head += "Content-Length: " + std::to_string(bodySize) + "\r\n";
  if (!manner.keepAlive)
    head += "Connection: close\r\n";
  else if (manner.http10)
    head += "Connection: keep-alive\r\n";
  return head + "\r\n";
}

}  // namespace

bool WriteAnswer(const Answer& answer, const Manner& manner, const AnswerSink& send) {
  const std::string_view body = answer.body ? std::string_view(*answer.body) : std::string_view();
  // An HTTP/1.0 client knows no chunked coding (RFC 9112 section 6.1).
  const bool chunked = answer.chunked && !manner.http10;
  if (!send(AnswerHead(answer, manner, body.size(), chunked))) return false;
  if (manner.headOnly) return true;
  if (!chunked) return send(body);
  for (std::size_t offset = 0; offset < body.size(); offset += kChunkBytes) {
    const std::string_view chunk = body.substr(offset, kChunkBytes);
    if (!send(HexSize(chunk.size()) + "\r\n") || !send(chunk) || !send("\r\n")) return false;
  }
  return send("0\r\n\r\n");
}

}  // namespace velbrook
