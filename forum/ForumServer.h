#pragma once
// The demo forum: a small HTTP/1.1 server on 127.0.0.1 that serves thread
// pages in code page 936 with the page markers of the real site. The demo
// program and the end-to-end tests point the HTTP client at it; its own
// record of the requests lets the tests see what went over the wire.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forum/ForumThread.h"
#include "forum/PageTable.h"
#include "text/MarkerText.h"

namespace velbrook {

// Connections served at once. A client that comes when all are open takes
// the place of the one idle longest; only when none is idle is it closed
// unanswered.
inline constexpr std::size_t kForumMaxConnections = 64;
// A connection that sends nothing for this long while a request is awaited,
// or takes nothing of an answer for this long, is closed. Far longer than
// the gaps between the requests of one job, short enough that a client who
// opened connections and left does not hold them for minutes.
inline constexpr int kForumIdleTimeoutMs = 15000;

// One request head as the forum read it.
struct RequestRecord {
  std::string target;                    // the request target as sent, query included
  std::string host;                      // the Host header's value, empty when absent
  bool cookieCame = false;               // the session cookie came back with its value
  std::size_t connection = 0;            // 1 for the first accepted connection, and so on
  std::vector<std::string> headerLines;  // every header line, in order
};

class ForumServer {
 public:
  // siteAddress is scheme://host of the forum site, without a trailing slash
  // ("http://www.forum.example"); threads of one page name their own address
  // with it.
  explicit ForumServer(Text siteAddress);
  ~ForumServer();  // stops
  ForumServer(const ForumServer&) = delete;
  ForumServer& operator=(const ForumServer&) = delete;

  // --- Content (may be changed while running). ---
  // Serves every page of thread at ThreadPagePath(name).
  void AddThread(const ForumThread& thread);
  // Serves a large thread whose pages are written on first request and kept.
  void AddGeneratedThread(const GeneratedThread& thread);
  // Serves body as it is under path (for hand-made pages in tests).
  void AddRawPage(const std::string& path, std::string body);
  // Sends the page at path with chunked transfer coding instead of a length.
  void SetChunked(const std::string& path, bool chunked);
  void FailPage(const std::string& path, PageFailure failure);
  // Answers the page at path only after waiting delayMs, as a distant
  // server would (0: at once). Stop cuts the wait short.
  void DelayPage(const std::string& path, int delayMs);
  void ClearFailures();

  // --- Running. ---
  // Listens on 127.0.0.1:port (0: an ephemeral port) and starts accepting.
  // Throws std::system_error when the socket cannot be set up.
  void Start(uint16_t port = 0);
  // Closes every socket and joins every thread; a stalled answer ends too.
  void Stop();
  bool Running() const;
  uint16_t Port() const;
  // The cookie that the forum sets, as "name=value".
  std::string SessionCookie() const;

  // --- What came in. ---
  std::vector<RequestRecord> Requests() const;
  std::size_t RequestCount() const;
  std::size_t ConnectionCount() const;
  void ClearRecords();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velbrook
