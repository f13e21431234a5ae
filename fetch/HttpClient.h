#pragma once
// The HTTP client that the main window owns as idhtp: GET over HTTP/1.1 on at
// most one reused connection, cookies kept and sent back, responses judged by
// their status and framed by their headers. It knows nothing of the window.
#include <memory>
#include <string>

#include "fetch/Connector.h"
#include "fetch/CookieStore.h"
#include "fetch/FetchError.h"
#include "fetch/Messages.h"
#include "text/MarkerText.h"

namespace velbrook {

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // How new connections are dialled; ConnectTcp unless replaced.
  void SetConnector(Connector connector);

  RequestSettings& Request();
  // Bounds every single wait for incoming bytes; takes effect at once.
  void SetReadTimeout(int milliseconds);
  int ReadTimeout() const;

  // Performs one GET of url (merged into the current address) and appends the
  // body of a successful response to body. Throws FetchError on failure.
  void Get(TextView url, std::string& body);

  const Response& LastResponse() const;
  // Null until the headers of the first response have been read.
  CookieStore* Cookies();
  bool HasConnection() const;

  // Thread-safe, for the window going away: the wait in progress and every
  // later operation fail at once with FetchFailure::Aborted.
  void Abort();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velbrook
