#include "fetch/HttpClient.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "fetch/Address.h"
#include "fetch/Challenge.h"
#include "fetch/Connection.h"
#include "fetch/HeaderFields.h"
#include "fetch/RequestHead.h"
#include "fetch/ResponseReader.h"
#include "os/Connect.h"
#include "os/Wait.h"
#include "text/Ascii.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

constexpr int kDefaultReadTimeoutMs = 30000;
// A server may send only so many "100 Continue" before its final answer.
constexpr int kMaxInterimResponses = 64;
constexpr int32_t kContinue = 100;

// How the status decision treats a response.
struct StatusDecision {
  bool succeeds;
  bool bodyIsPage;  // the body goes to the page, else to scratch
  bool withGrace;
};

StatusDecision DecideStatus(const Response& response) {
  const int32_t code = response.statusCode;
  const int32_t statusClass = code / 100;
  if ((statusClass == 3 && code != 304) || (!response.location.empty() && code != 201))
    return {false, false, false};
  if (statusClass == 2)
    return code == 204 ? StatusDecision{true, false, true} : StatusDecision{true, true, false};
  if (code == 401 || code == 407) return {false, false, false};
  if (statusClass == 1 || code == 304) return {false, false, true};
  return {false, false, false};
}

[[noreturn]] void ThrowProtocolError(const Response& response) {
  std::string message = "status " + std::to_string(response.statusCode);
  const std::vector<std::string>* challenges =
      response.statusCode == 401   ? &response.serverChallenges
      : response.statusCode == 407 ? &response.proxyChallenges
                                   : nullptr;
  // The client holds no password, so a supported challenge ends the attempt at once too.
  if (challenges != nullptr) {
    const std::string scheme = SupportedChallengeScheme(*challenges);
    message += scheme.empty() ? " (no supported challenge)"
                              : " (" + scheme + " challenge, no credentials)";
  }
  throw FetchError(FetchFailure::ProtocolError, message, response.statusCode);
}

}  // namespace

struct HttpClient::State {
  Connector connector = ConnectTcp;
  RequestSettings request;
  std::atomic<int> readTimeoutMs{kDefaultReadTimeoutMs};
  Address current;
  std::optional<Connection> connection;
  Response last;
  std::unique_ptr<CookieStore> cookies;
  Waker waker;
  std::atomic<bool> aborted{false};

  void ThrowIfAborted() const {
    if (aborted.load()) throw FetchError(FetchFailure::Aborted, "aborted");
  }

  // Closing drops the receive buffer with the socket.
  void CloseConnection() { connection.reset(); }

  // The keep-alive flag of the last response, asked now: the peer must not
  // have closed (unread bytes still count as open) and neither connection
  // value may be "close".
  bool KeepAlive() {
    if (!connection) return false;
    try {
      connection->ReceiveWaiting();
    } catch (const FetchError& error) {
      if (error.failure() != FetchFailure::SocketError) throw;
      return false;  // a reset connection is a closed one
    }
    if (connection->PeerClosed() && connection->Buffered().empty()) return false;
    return !AsksToClose(last);
  }

  // Closes the connection unless it can carry a request to host:port, then
  // opens one when none is left. True when the connection is a new one.
  bool PrepareConnection(const std::string& host, uint16_t port, const std::string& scheme) {
    if (connection &&
        (!EqualsIgnoringAsciiCase(connection->host(), host) || connection->port() != port))
      CloseConnection();
    if (EqualsIgnoringAsciiCase(scheme, "https"))
      throw FetchError(FetchFailure::NoSecureTransport, "https is not supported");
    if (!KeepAlive()) CloseConnection();
    // Anything that arrived since the last response answers no request of
    // ours: a connection holding such bytes is never used again.
    if (connection && (connection->PeerClosed() || !connection->Buffered().empty()))
      CloseConnection();
    if (connection) return false;
    OpenConnection(host, port);
    return true;
  }

  void OpenConnection(const std::string& host, uint16_t port) {
    Socket socket;
    try {
      ConnectWakeScope wakeScope(waker);
      socket = connector(host, port);
    } catch (const std::system_error& failed) {
      ThrowIfAborted();  // a connect that the waker cut short
      throw FetchError(FetchFailure::SocketError, failed.what(), failed.code().value());
    }
    ThrowIfAborted();
    if (!socket.valid())
      throw FetchError(FetchFailure::SocketError, "the connector gave no socket", EBADF);
    connection.emplace(std::move(socket), host, port, waker);
  }

  // Reads responses until one is not "100 Continue"; stores the cookies of each.
  void ReadFinalHead(ResponseReader& reader, const std::string& host) {
    for (int interim = 0;; ++interim) {
      reader.ReadHead(last);
      if (!cookies) cookies = std::make_unique<CookieStore>();
      cookies->StoreResponseCookies(FieldValues(last.headerLines, "Set-cookie"),
                                    FieldValues(last.headerLines, "Set-cookie2"), host,
                                    ToAscii(current.directoryPath), ToAscii(current.port));
      if (last.statusCode != kContinue) return;
      if (interim >= kMaxInterimResponses)
        throw FetchError(FetchFailure::ProtocolError, "too many interim responses", kContinue);
    }
  }

  // Sends head and reads its response; a failure while bytes were still
  // awaited closes the connection, so no later request reads them. A
  // failure before any byte of a response arrived sets *unanswered.
  StatusDecision Exchange(const std::string& head, const std::string& host, std::string& body,
                          bool* unanswered) {
    const uint64_t receivedBefore = connection->ReceivedTotal();
    try {
      const int timeoutMs = readTimeoutMs.load();
      connection->SendAll(head, timeoutMs);
      ResponseReader reader(*connection, timeoutMs);
      ReadFinalHead(reader, host);
      const StatusDecision decision = DecideStatus(last);
      BodySink sink(decision.bodyIsPage ? &body : nullptr);
      try {
        reader.ReadBody(last, sink, decision.withGrace);
      } catch (const FetchError& error) {
        // A body that is not the page is drained only up to the page bound;
        // its rest is never read, so the connection cannot serve again.
        if (decision.bodyIsPage || error.failure() != FetchFailure::OutOfMemory) throw;
        CloseConnection();
      }
      return decision;
    } catch (const FetchError& error) {
      *unanswered = connection && connection->ReceivedTotal() == receivedBefore &&
                    (error.failure() == FetchFailure::ConnectionClosed ||
                     error.failure() == FetchFailure::SocketError);
      CloseConnection();
      throw;
    } catch (...) {
      CloseConnection();
      throw;
    }
  }

  // The head of the request, with the cookies selected for it now.
  std::string HeadFor(const std::string& target, const std::string& hostValue,
                      const std::string& host, const std::string& scheme, uint16_t port) {
    const std::string cookieList =
        cookies ? JoinCookies(cookies->Select(host, ToAscii(current.directoryPath), scheme, port))
                : "";
    return BuildRequestHead(target, hostValue, request, cookieList);
  }

  void Get(TextView url, std::string& body) {
    ThrowIfAborted();
    MergeAddress(current, ParseAddress(url));
    const std::string target = ToAscii(RequestTarget(current));
    const std::string hostValue = ToAscii(HostHeaderValue(current));
    RequireNoControlCharacter(target, "target");
    RequireNoControlCharacter(hostValue, "Host");
    const std::string host = ToAscii(current.host);
    const std::string scheme = ToAscii(current.scheme);
    const uint16_t port = PortNumber(current.port);

    const bool fresh = PrepareConnection(host, port, scheme);
    StatusDecision decision{};
    bool unanswered = false;
    try {
      decision = Exchange(HeadFor(target, hostValue, host, scheme, port), host, body, &unanswered);
    } catch (const FetchError&) {
      // A kept-alive connection that the server closed as the request went
      // out lost the request unanswered: a GET may go once more on a new
      // connection (RFC 9112 section 9.3.1). Never after a fresh connection
      // failed, nor once a byte of a response has come.
      if (fresh || !unanswered) throw;
      OpenConnection(host, port);
      decision = Exchange(HeadFor(target, hostValue, host, scheme, port), host, body, &unanswered);
    }
    if (!KeepAlive()) CloseConnection();
    if (!decision.succeeds) ThrowProtocolError(last);
  }
};

HttpClient::HttpClient() : state_(std::make_unique<State>()) {}

HttpClient::~HttpClient() = default;

void HttpClient::SetConnector(Connector connector) { state_->connector = std::move(connector); }

RequestSettings& HttpClient::Request() { return state_->request; }

void HttpClient::SetReadTimeout(int milliseconds) { state_->readTimeoutMs.store(milliseconds); }

int HttpClient::ReadTimeout() const { return state_->readTimeoutMs.load(); }

void HttpClient::Get(TextView url, std::string& body) {
  const size_t bodyStart = body.size();
  try {
    state_->Get(url, body);
  } catch (const std::bad_alloc&) {
    body.resize(bodyStart);
    state_->CloseConnection();
    throw FetchError(FetchFailure::OutOfMemory, "out of memory");
  } catch (const std::length_error&) {
    body.resize(bodyStart);
    state_->CloseConnection();
    throw FetchError(FetchFailure::OutOfMemory, "out of memory");
  } catch (const FetchError& error) {
    body.resize(bodyStart);
    // The window is going away: nothing of this connection is wanted any more.
    if (error.failure() == FetchFailure::Aborted) state_->CloseConnection();
    throw;
  } catch (...) {
    body.resize(bodyStart);
    throw;
  }
}

const Response& HttpClient::LastResponse() const { return state_->last; }

CookieStore* HttpClient::Cookies() { return state_->cookies.get(); }

bool HttpClient::HasConnection() const { return state_->connection.has_value(); }

void HttpClient::Abort() {
  state_->aborted.store(true);
  state_->waker.Raise();
}

}  // namespace velbrook
