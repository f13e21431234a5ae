#pragma once
// What the forum serves, and what it does about one request: the pages under
// their paths with the failures, chunking and delays they were given, and the
// decision drawn from them. Nothing here touches a socket.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "forum/AnswerWriter.h"
#include "forum/ForumThread.h"
#include "forum/RequestHead.h"
#include "text/MarkerText.h"

namespace velbrook {

// How the forum mistreats a request for a page that was told to fail.
enum class PageFailure {
  None,
  Close,      // read the request, then close the connection without a byte
  Stall,      // read the request and never answer (until Stop)
  Status500,  // answer "500 Internal Server Error" with an HTML body
};

enum class Verdict {
  Answer,  // send the answer
  Refuse,  // send the answer (a refusal), then close the connection
  Close,   // close the connection without a byte
  Stall,   // send nothing until Stop
};

struct Decision {
  Verdict verdict = Verdict::Answer;
  Answer answer;
};

// Every member is thread-safe: the content may change while the forum runs.
class PageTable {
 public:
  // siteAddress is scheme://host of the forum site (see ForumServer).
  explicit PageTable(Text siteAddress);

  void AddThread(const ForumThread& thread);
  void AddGeneratedThread(const GeneratedThread& thread);
  void AddRawPage(const std::string& path, std::string body);
  void SetChunked(const std::string& path, bool chunked);
  void FailPage(const std::string& path, PageFailure failure);
  void DelayPage(const std::string& path, int delayMs);
  void ClearFailures();

  // What request gets from the forum listening on port (an absolute target
  // may name that port).
  Decision Decide(const RequestHead& request, uint16_t port) const;

 private:
  struct GeneratedSource;
  struct PageEntry {
    Body body;                                // written out already, or
    std::shared_ptr<GeneratedSource> source;  // written on demand
    std::size_t index = 0;
  };

  Decision DecidePage(const std::string& path) const;

  const Text siteAddress_;
  const std::string siteHost_;
  mutable std::mutex mutex_;
  std::map<std::string, PageEntry> pages_;
  std::map<std::string, PageFailure> failures_;
  std::map<std::string, bool> chunked_;
  std::map<std::string, int> delays_;
};

}  // namespace velbrook
