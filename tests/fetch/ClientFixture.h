#pragma once
// A client wired to loopback test servers: every host it dials goes to
// 127.0.0.1, to the server registered for the port it asked for (or the
// default one), and every dial is recorded.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fetch/HttpClient.h"
#include "tests/support/ScriptedServer.h"

namespace velbrook::testing {

// "HTTP/1.1 200 OK" with a Content-Length for body and the extra header lines.
std::string Ok(const std::string& body, const std::string& headers = "");
// A response with the given status line, header lines (each ending in CR LF) and raw body.
std::string HttpResponse(const std::string& status, const std::string& headers,
                         const std::string& body);

class ClientTest : public ::testing::Test {
 protected:
  ClientTest();

  // Starts the server that every dial goes to unless a port has its own.
  ScriptedServer& Serve(std::vector<Script> scripts);
  // Starts a server for dials to one port.
  ScriptedServer& ServePort(uint16_t port, std::vector<Script> scripts);

  std::string Fetch(const std::u16string& url);
  // The failure of fetching url; a fetch that succeeds is a test failure.
  std::optional<FetchError> FailureOf(const std::u16string& url);

  HttpClient client_;
  std::vector<std::pair<std::string, uint16_t>> dials_;

 private:
  std::unique_ptr<ScriptedServer> server_;
  std::map<uint16_t, std::unique_ptr<ScriptedServer>> byPort_;
};

// The value of header name in a request head, or nothing.
std::optional<std::string> HeaderOf(const std::string& head, const std::string& name);
// The request line of a head.
std::string RequestLine(const std::string& head);

}  // namespace velbrook::testing
