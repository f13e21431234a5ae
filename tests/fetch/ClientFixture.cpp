#include "tests/fetch/ClientFixture.h"

#include "os/Connect.h"

namespace velbrook::testing {

std::string HttpResponse(const std::string& status, const std::string& headers,
                         const std::string& body) {
  return status + "\r\n" + headers + "\r\n" + body;
}

std::string Ok(const std::string& body, const std::string& headers) {
  return HttpResponse("HTTP/1.1 200 OK",
                      "Content-Length: " + std::to_string(body.size()) + "\r\n" + headers, body);
}

ClientTest::ClientTest() {
  client_.SetConnector([this](const std::string& host, uint16_t port) {
    dials_.emplace_back(host, port);
    auto found = byPort_.find(port);
    ScriptedServer* server = found != byPort_.end() ? found->second.get() : server_.get();
    if (server == nullptr) throw FetchError(FetchFailure::SocketError, "no test server", 0);
    return ConnectTcp("127.0.0.1", server->port());
  });
}

ScriptedServer& ClientTest::Serve(std::vector<Script> scripts) {
  server_ = std::make_unique<ScriptedServer>(std::move(scripts));
  return *server_;
}

ScriptedServer& ClientTest::ServePort(uint16_t port, std::vector<Script> scripts) {
  auto& server = byPort_[port];
  server = std::make_unique<ScriptedServer>(std::move(scripts));
  return *server;
}

std::string ClientTest::Fetch(const std::u16string& url) {
  std::string body;
  client_.Get(url, body);
  return body;
}

std::optional<FetchError> ClientTest::FailureOf(const std::u16string& url) {
  try {
    Fetch(url);
  } catch (const FetchError& error) {
    return error;
  }
  ADD_FAILURE() << "the fetch succeeded";
  return std::nullopt;
}

std::optional<std::string> HeaderOf(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const size_t at = head.find(key);
  if (at == std::string::npos) return std::nullopt;
  const size_t start = at + key.size();
  return head.substr(start, head.find("\r\n", start) - start);
}

std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

}  // namespace velbrook::testing
