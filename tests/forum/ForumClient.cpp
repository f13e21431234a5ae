#include "tests/forum/ForumClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace velbrook::testing {
namespace {

// A guard against a hung test, not a measurement: a healthy forum answers
// loopback requests in microseconds.
constexpr int kHangGuardMs = 20000;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<std::string> RawResponse::Header(const std::string& name) const {
  for (const std::string& line : headerLines) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && SameIgnoringCase(line.substr(0, colon), name))
      return Trimmed(line.substr(colon + 1));
  }
  return std::nullopt;
}

ForumClient::ForumClient(uint16_t port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot connect to the forum");
}

ForumClient::~ForumClient() {
  if (fd_ >= 0) close(fd_);
}

void ForumClient::Send(const std::string& bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const ssize_t sent = send(fd_, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
    if (sent <= 0) throw std::runtime_error("send failed");
    offset += static_cast<std::size_t>(sent);
  }
}

void ForumClient::SendGet(const std::string& target, const std::vector<std::string>& extraHeaders) {
  std::string head = "GET " + target + " HTTP/1.1\r\nHost: www.forum.example\r\n";
  for (const std::string& line : extraHeaders) head += line + "\r\n";
  Send(head + "\r\n");
}

bool ForumClient::Fill() {
  pollfd readable{fd_, POLLIN, 0};
  if (poll(&readable, 1, kHangGuardMs) <= 0) throw std::runtime_error("no answer from the forum");
  char piece[16384];
  const ssize_t received = recv(fd_, piece, sizeof piece, 0);
  if (received <= 0) return false;
  buffer_.append(piece, static_cast<std::size_t>(received));
  return true;
}

std::optional<std::string> ForumClient::ReadLine() {
  std::size_t feed;
  while ((feed = buffer_.find('\n')) == std::string::npos)
    if (!Fill()) return std::nullopt;
  std::string line = buffer_.substr(0, feed);
  buffer_.erase(0, feed + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool ForumClient::ReadBytes(std::size_t count, std::string& into) {
  while (buffer_.size() < count)
    if (!Fill()) return false;
  into += buffer_.substr(0, count);
  buffer_.erase(0, count);
  return true;
}

std::optional<RawResponse> ForumClient::ReadHeadOnly() {
  const std::optional<std::string> statusLine = ReadLine();
  if (!statusLine || statusLine->size() < 12) return std::nullopt;
  RawResponse response;
  response.status = std::stoi(statusLine->substr(9, 3));
  for (std::optional<std::string> line = ReadLine(); line && !line->empty(); line = ReadLine())
    response.headerLines.push_back(*line);
  return response;
}

std::optional<RawResponse> ForumClient::ReadResponse() {
  std::optional<RawResponse> head = ReadHeadOnly();
  if (!head) return std::nullopt;
  RawResponse& response = *head;
  const std::string encoding = response.Header("Transfer-Encoding").value_or("");
  if (SameIgnoringCase(encoding, "chunked")) {
    response.chunked = true;
    for (;;) {
      const std::optional<std::string> sizeLine = ReadLine();
      if (!sizeLine) return std::nullopt;
      const std::size_t size = std::stoul(*sizeLine, nullptr, 16);
      if (size == 0) break;
      if (!ReadBytes(size, response.body) || !ReadLine()) return std::nullopt;
    }
    if (!ReadLine()) return std::nullopt;  // the empty trailer
    return response;
  }
  const std::size_t length = std::stoul(response.Header("Content-Length").value_or("0"));
  if (!ReadBytes(length, response.body)) return std::nullopt;
  return response;
}

std::string ForumClient::ReadUntilClosed() {
  while (Fill()) {
  }
  std::string rest;
  rest.swap(buffer_);
  return rest;
}

std::vector<std::unique_ptr<ForumClient>> OpenIdleClients(uint16_t port, std::size_t count,
                                                          const std::string& target) {
  std::vector<std::unique_ptr<ForumClient>> clients;
  while (clients.size() < count) {
    auto client = std::make_unique<ForumClient>(port);
    client->SendGet(target);
    if (!client->ReadResponse()) break;
    clients.push_back(std::move(client));
  }
  return clients;
}

}  // namespace velbrook::testing
