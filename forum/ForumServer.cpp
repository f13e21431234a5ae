#include "forum/ForumServer.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>
#include <utility>

#include "forum/AnswerWriter.h"
#include "forum/LoopbackListener.h"
#include "forum/RequestHead.h"

namespace velbrook {
namespace {

constexpr char kSessionCookieName[] = "vbsid";

std::string RandomToken() {
  std::random_device device;
  std::uniform_int_distribution<unsigned long long> digits;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", digits(device));
  return text;
}

bool Send(ClientLink& link, const Answer& answer, const Manner& manner) {
  return WriteAnswer(answer, manner, [&link](std::string_view bytes) { return link.Send(bytes); });
}

// Sends refusal, after which the connection is closed.
void Refuse(ClientLink& link, const Answer& refusal, bool headOnly = false) {
  Send(link, refusal, Manner{headOnly, false, false, {}});
}

}  // namespace

struct ForumServer::State {
  explicit State(Text siteAddress) : pages(std::move(siteAddress)) {}

  PageTable pages;
  const std::string cookieValue = RandomToken();
  const std::string sessionCookie = std::string(kSessionCookieName) + "=" + cookieValue;

  mutable std::mutex recordMutex;
  std::vector<RequestRecord> records;

  // Last, so that it stops, and every conversation with it, before the
  // members above go.
  LoopbackListener listener{ListenerLimits{kForumMaxConnections, kForumIdleTimeoutMs},
                            [this](ClientLink& link) { Converse(link); }};

  void Converse(ClientLink& link);
  bool HandleRequest(ClientLink& link, const RequestHead& request);
  void Record(const RequestHead& request, std::size_t number);
};

ForumServer::ForumServer(Text siteAddress)
    : state_(std::make_unique<State>(std::move(siteAddress))) {}

ForumServer::~ForumServer() { Stop(); }

void ForumServer::AddThread(const ForumThread& thread) { state_->pages.AddThread(thread); }

void ForumServer::AddGeneratedThread(const GeneratedThread& thread) {
  state_->pages.AddGeneratedThread(thread);
}

void ForumServer::AddRawPage(const std::string& path, std::string body) {
  state_->pages.AddRawPage(path, std::move(body));
}

void ForumServer::SetChunked(const std::string& path, bool chunked) {
  state_->pages.SetChunked(path, chunked);
}

void ForumServer::FailPage(const std::string& path, PageFailure failure) {
  state_->pages.FailPage(path, failure);
}

void ForumServer::DelayPage(const std::string& path, int delayMs) {
  state_->pages.DelayPage(path, delayMs);
}

void ForumServer::ClearFailures() { state_->pages.ClearFailures(); }

void ForumServer::Start(uint16_t port) { state_->listener.Start(port); }
void ForumServer::Stop() { state_->listener.Stop(); }
bool ForumServer::Running() const { return state_->listener.Running(); }
uint16_t ForumServer::Port() const { return state_->listener.Port(); }
std::string ForumServer::SessionCookie() const { return state_->sessionCookie; }

std::vector<RequestRecord> ForumServer::Requests() const {
  std::lock_guard lock(state_->recordMutex);
  return state_->records;
}

std::size_t ForumServer::RequestCount() const {
  std::lock_guard lock(state_->recordMutex);
  return state_->records.size();
}

std::size_t ForumServer::ConnectionCount() const { return state_->listener.AcceptCount(); }

void ForumServer::ClearRecords() {
  std::lock_guard lock(state_->recordMutex);
  state_->records.clear();
  state_->listener.ClearAcceptCount();
}

// --- One connection: request heads in, answers out. ---

void ForumServer::State::Converse(ClientLink& link) {
  std::string buffer;
  for (;;) {
    if (RequestLineTooLong(buffer)) {
      Refuse(link, Refusal(414, "URI Too Long"));
      return;
    }
    const std::size_t headLength = RequestHeadLength(buffer);
    if (headLength > kMaxRequestHeadBytes ||
        (headLength == 0 && buffer.size() > kMaxRequestHeadBytes)) {
      Refuse(link, Refusal(431, "Request Header Fields Too Large"));
      return;
    }
    if (headLength == 0) {
      if (!link.Receive(buffer)) return;
      continue;
    }
    const std::optional<RequestHead> request =
        ParseRequestHead(std::string_view(buffer).substr(0, headLength));
    buffer.erase(0, headLength);
    if (!request) {
      Refuse(link, Refusal(400, "Bad Request"));
      return;
    }
    if (!HandleRequest(link, *request)) return;
  }
}

// Answers one request; false when the connection is to be closed.
bool ForumServer::State::HandleRequest(ClientLink& link, const RequestHead& request) {
  Record(request, link.Number());
  const bool headOnly = request.method == "HEAD";
  const Decision decision = pages.Decide(request, listener.Port());
  switch (decision.verdict) {
    case Verdict::Close:
      return false;
    case Verdict::Stall:
      link.WaitForStop();
      return false;
    case Verdict::Refuse:
      Refuse(link, decision.answer, headOnly);
      return false;
    case Verdict::Answer:
      break;
  }
  const Answer& answer = decision.answer;
  if (answer.delayMs > 0 && !link.Pause(answer.delayMs)) return false;
  // The session cookie is set until the client sends it back.
  const bool cookieCame = request.Cookie(kSessionCookieName) == cookieValue;
  const Manner manner{headOnly, request.Http10(), request.KeepAlive(),
                      cookieCame ? std::string_view() : std::string_view(sessionCookie)};
  return Send(link, answer, manner) && manner.keepAlive;
}

void ForumServer::State::Record(const RequestHead& request, std::size_t number) {
  RequestRecord record;
  record.target = request.target;
  record.host = request.Field("Host").value_or("");
  record.cookieCame = request.Cookie(kSessionCookieName) == cookieValue;
  record.connection = number;
  record.headerLines = request.headerLines;
  std::lock_guard lock(recordMutex);
  records.push_back(std::move(record));
}

}  // namespace velbrook
