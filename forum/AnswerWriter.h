#pragma once
// The forum's answers and how they go out on the wire: the status line, the
// head fields, and the body framed by its length or in chunks.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velbrook {

// A body written once and shared by every answer that carries it.
using Body = std::shared_ptr<const std::string>;

struct Answer {
  int status = 200;
  const char* reason = "OK";
  Body body;  // nothing: an empty body of no type
  bool chunked = false;
  const char* extraField = nullptr;  // one more header line, as it goes out
  int delayMs = 0;                   // the wait before the answer goes out
};

// An empty answer that is sent before the connection is closed.
inline Answer Refusal(int status, const char* reason, const char* extraField = nullptr) {
  return Answer{status, reason, nullptr, false, extraField};
}

// How an answer goes out, as the request asked for it.
struct Manner {
  bool headOnly = false;       // HEAD: the head alone
  bool http10 = false;         // no chunked coding; a kept connection is named
  bool keepAlive = false;      // otherwise the answer says "close"
  std::string_view setCookie;  // "name=value" of a cookie to set; empty: none
};

// Takes the next bytes of an answer; false when the connection is lost.
using AnswerSink = std::function<bool(std::string_view bytes)>;

// Writes answer to send, dated now; false as soon as a send fails.
bool WriteAnswer(const Answer& answer, const Manner& manner, const AnswerSink& send);

}  // namespace velbrook
