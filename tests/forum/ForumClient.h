#pragma once
// A plain blocking socket client for the forum's own tests: it writes bytes
// as given and reads one response by its framing, so that the tests see the
// forum's wire behaviour without any HTTP library in between.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velbrook::testing {

struct RawResponse {
  int status = 0;
  std::vector<std::string> headerLines;
  std::string body;
  bool chunked = false;

  // The value of the first header named name (ignoring case), if present.
  std::optional<std::string> Header(const std::string& name) const;
};

class ForumClient {
 public:
  explicit ForumClient(uint16_t port);  // connects to 127.0.0.1:port
  ~ForumClient();
  ForumClient(const ForumClient&) = delete;
  ForumClient& operator=(const ForumClient&) = delete;

  void Send(const std::string& bytes);
  // A GET of target with a Host header and the extra header lines given.
  void SendGet(const std::string& target, const std::vector<std::string>& extraHeaders = {});
  // Reads one whole response; nothing when the peer closes before a status
  // line is complete.
  std::optional<RawResponse> ReadResponse();
  // Reads the head of a response that has no body (the answer to HEAD).
  std::optional<RawResponse> ReadHeadOnly();
  // Reads until the peer closes; returns what arrived before the close.
  std::string ReadUntilClosed();

 private:
  bool Fill();  // reads more bytes into buffer_; false at the peer's close
  std::optional<std::string> ReadLine();
  bool ReadBytes(std::size_t count, std::string& into);

  int fd_ = -1;
  std::string buffer_;
};

// count clients, each of which has had target answered and stays connected;
// fewer when a request went unanswered.
std::vector<std::unique_ptr<ForumClient>> OpenIdleClients(uint16_t port, std::size_t count,
                                                          const std::string& target);

}  // namespace velbrook::testing
