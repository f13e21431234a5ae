#include "forum/ForumServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <list>
#include <map>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include "forum/RequestHead.h"
#include "text/Encoding.h"

namespace velbrook {

std::string SiteHost(TextView siteAddress) {
  const std::string address = ToAscii(siteAddress);
  const std::size_t afterScheme = address.find("://");
  return afterScheme == std::string::npos ? address : address.substr(afterScheme + 3);
}

namespace {

// Bytes read from a connection at a time.
constexpr std::size_t kReceiveBytes = 16384;
// Size of each chunk of a page that goes out chunked.
constexpr std::size_t kChunkBytes = 4096;
constexpr int kListenBacklog = 16;
// Before closing, what the client still sends is read and dropped for so
// long and so much, so that an unread request does not turn the close into
// a reset that destroys the answer on its way.
constexpr int kLingerMs = 1000;
constexpr std::size_t kMaxLingerBytes = 65536;
constexpr char kSessionCookieName[] = "vbsid";

using Body = std::shared_ptr<const std::string>;

std::system_error SystemError(const char* what) {
  return std::system_error(errno, std::generic_category(), what);
}

Body MakeBody(std::string bytes) { return std::make_shared<const std::string>(std::move(bytes)); }

// An IMF-fixdate (RFC 9110 section 5.6.7), "Sun, 06 Nov 1994 08:49:37 GMT",
// in English whatever the locale of the process that runs the forum.
std::string HttpDate(std::chrono::system_clock::time_point moment) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return text;
}

Body ErrorPage(const char16_t* message) {
  return MakeBody(EncodeCp936(u"<html><head><title>论坛</title></head><body><p>" + Text(message) +
                              u"</p></body></html>\r\n"));
}

std::string RandomToken() {
  std::random_device device;
  std::uniform_int_distribution<unsigned long long> digits;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", digits(device));
  return text;
}

std::string HexSize(std::size_t size) {
  char text[24];
  std::snprintf(text, sizeof text, "%zx", size);
  return text;
}

// A generated thread writes each page the first time it is asked for.
struct GeneratedSource {
  GeneratedThread shape;
  ForumThread skeleton;
  Text siteAddress;
  std::mutex mutex;
  std::vector<Body> cache;

  Body Page(std::size_t index) {
    std::lock_guard lock(mutex);
    if (!cache[index])
      cache[index] = MakeBody(
          EncodeCp936(WriteThreadPage(skeleton, index, GeneratedPage(shape, index), siteAddress)));
    return cache[index];
  }
};

struct PageEntry {
  Body body;                                // written out already, or
  std::shared_ptr<GeneratedSource> source;  // written on demand
  std::size_t index = 0;
};

struct Answer {
  int status = 200;
  const char* reason = "OK";
  Body body;  // nothing: an empty body of no type
  bool chunked = false;
  const char* extraField = nullptr;  // one more header line, as it goes out
  int delayMs = 0;                   // the wait before the answer goes out
};

// A refusal: an empty answer after which the connection is closed.
Answer Refusal(int status, const char* reason, const char* extraField = nullptr) {
  return Answer{status, reason, nullptr, false, extraField};
}

Answer NotFound() { return Answer{404, "Not Found", ErrorPage(u"您要访问的页面不存在。")}; }

// How an answer goes out, as the request asked for it.
struct Manner {
  bool headOnly = false;   // HEAD: the head alone
  bool http10 = false;     // no chunked coding; a kept connection is named
  bool keepAlive = false;  // otherwise the answer says "close"
  bool setCookie = false;
};

// What the forum does about one request, decided from its content tables.
enum class Verdict { Answer, Close, Stall };

}  // namespace

struct ForumServer::State {
  Text siteAddress;
  std::string siteHost;
  std::string cookieValue = RandomToken();

  mutable std::mutex contentMutex;
  std::map<std::string, PageEntry> pages;
  std::map<std::string, PageFailure> failures;
  std::map<std::string, bool> chunked;
  std::map<std::string, int> delays;

  mutable std::mutex recordMutex;
  std::vector<RequestRecord> records;
  std::size_t connectionCount = 0;

  struct Connection {
    int fd = -1;
    std::size_t number = 0;
    std::thread thread;
    std::atomic<bool> done{false};
    // While it waits for the bytes of a request, a connection is idle and a
    // new client may close it to take its place.
    std::mutex idleMutex;
    bool idle = false;
    bool evicted = false;
    std::chrono::steady_clock::time_point lastHeard;  // the client's last bytes, or the accept
  };
  std::mutex connectionMutex;
  std::list<std::unique_ptr<Connection>> connections;

  std::atomic<bool> running{false};
  int listenFd = -1;
  // Written once by Stop and never read: every poll that watches it wakes.
  int wakeRead = -1;
  int wakeWrite = -1;
  uint16_t port = 0;
  std::thread acceptThread;

  void AcceptLoop();
  void ReapFinished();
  std::size_t OpenConnections();
  bool EvictLongestIdle();
  void Serve(Connection& connection);
  bool ReadRequestBytes(Connection& connection, std::string& buffer);
  bool HandleRequest(int fd, std::size_t number, const RequestHead& request);
  Verdict Decide(const RequestHead& request, Answer& answer) const;
  void Record(const RequestHead& request, std::size_t number);
  bool SendAnswer(int fd, const Answer& answer, const Manner& manner) const;
  bool Refuse(int fd, const Answer& refusal, bool headOnly = false) const;

  // Waits for events on fd, or for Stop; false when stopping or idle too long.
  bool WaitFor(int fd, short events, int timeoutMs) const;
  void LingeringClose(int fd) const;
  bool SendAll(int fd, std::string_view bytes) const;
  void WaitForStop() const;
  // Waits delayMs; false when Stop came first.
  bool PauseFor(int delayMs) const;
};

ForumServer::ForumServer(Text siteAddress) : state_(std::make_unique<State>()) {
  state_->siteAddress = std::move(siteAddress);
  state_->siteHost = SiteHost(state_->siteAddress);
}

ForumServer::~ForumServer() { Stop(); }

void ForumServer::AddThread(const ForumThread& thread) {
  std::lock_guard lock(state_->contentMutex);
  for (std::size_t i = 0; i < thread.pages.size(); ++i)
    state_->pages[ThreadPagePath(thread.pages[i].name)].body =
        MakeBody(EncodeCp936(WriteThreadPage(thread, i, state_->siteAddress)));
}

void ForumServer::AddGeneratedThread(const GeneratedThread& thread) {
  auto source = std::make_shared<GeneratedSource>();
  source->shape = thread;
  source->skeleton = GeneratedSkeleton(thread);
  source->siteAddress = state_->siteAddress;
  source->cache.resize(thread.pageCount);
  std::lock_guard lock(state_->contentMutex);
  for (std::size_t i = 0; i < thread.pageCount; ++i)
    state_->pages[ThreadPagePath(source->skeleton.pages[i].name)] = PageEntry{nullptr, source, i};
}

void ForumServer::AddRawPage(const std::string& path, std::string body) {
  std::lock_guard lock(state_->contentMutex);
  state_->pages[path] = PageEntry{MakeBody(std::move(body)), nullptr, 0};
}

void ForumServer::SetChunked(const std::string& path, bool chunked) {
  std::lock_guard lock(state_->contentMutex);
  state_->chunked[path] = chunked;
}

void ForumServer::FailPage(const std::string& path, PageFailure failure) {
  std::lock_guard lock(state_->contentMutex);
  state_->failures[path] = failure;
}

void ForumServer::DelayPage(const std::string& path, int delayMs) {
  std::lock_guard lock(state_->contentMutex);
  state_->delays[path] = delayMs;
}

void ForumServer::ClearFailures() {
  std::lock_guard lock(state_->contentMutex);
  state_->failures.clear();
}

void ForumServer::Start(uint16_t port) {
  State& s = *state_;
  if (s.running) return;
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) throw SystemError("pipe");
  s.wakeRead = wake[0];
  s.wakeWrite = wake[1];
  s.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s.listenFd < 0) throw SystemError("socket");
  const int yes = 1;
  setsockopt(s.listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (bind(s.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s.listenFd, kListenBacklog) != 0 ||
      getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::system_error error = SystemError("bind");
    close(s.listenFd);
    close(s.wakeRead);
    close(s.wakeWrite);
    s.listenFd = s.wakeRead = s.wakeWrite = -1;
    throw error;
  }
  s.port = ntohs(address.sin_port);
  s.running = true;
  s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
}

void ForumServer::Stop() {
  State& s = *state_;
  if (!s.running.exchange(false)) return;
  const char wake = 1;
  [[maybe_unused]] ssize_t written = write(s.wakeWrite, &wake, 1);
  s.acceptThread.join();
  std::list<std::unique_ptr<State::Connection>> connections;
  {
    std::lock_guard lock(s.connectionMutex);
    connections.swap(s.connections);
  }
  for (auto& connection : connections) connection->thread.join();
  close(s.listenFd);
  close(s.wakeRead);
  close(s.wakeWrite);
  s.listenFd = s.wakeRead = s.wakeWrite = -1;
}

bool ForumServer::Running() const { return state_->running; }
uint16_t ForumServer::Port() const { return state_->port; }

std::string ForumServer::SessionCookie() const {
  return std::string(kSessionCookieName) + "=" + state_->cookieValue;
}

std::vector<RequestRecord> ForumServer::Requests() const {
  std::lock_guard lock(state_->recordMutex);
  return state_->records;
}

std::size_t ForumServer::RequestCount() const {
  std::lock_guard lock(state_->recordMutex);
  return state_->records.size();
}

std::size_t ForumServer::ConnectionCount() const {
  std::lock_guard lock(state_->recordMutex);
  return state_->connectionCount;
}

void ForumServer::ClearRecords() {
  std::lock_guard lock(state_->recordMutex);
  state_->records.clear();
  state_->connectionCount = 0;
}

// --- The accept thread. ---

void ForumServer::State::AcceptLoop() {
  while (WaitFor(listenFd, POLLIN, -1)) {
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;  // the client gave up already, or a transient shortage
    ReapFinished();
    std::lock_guard lock(connectionMutex);
    if (OpenConnections() >= kForumMaxConnections && !EvictLongestIdle()) {
      close(fd);
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->lastHeard = std::chrono::steady_clock::now();
    {
      std::lock_guard recordLock(recordMutex);
      connection->number = ++connectionCount;
    }
    Connection& served = *connection;
    connections.push_back(std::move(connection));
    served.thread = std::thread([this, &served] { Serve(served); });
  }
}

void ForumServer::State::ReapFinished() {
  std::lock_guard lock(connectionMutex);
  for (auto it = connections.begin(); it != connections.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

// Connections not yet closed to make room for another.
std::size_t ForumServer::State::OpenConnections() {
  std::size_t open = 0;
  for (const auto& connection : connections) {
    std::lock_guard lock(connection->idleMutex);
    if (!connection->evicted && !connection->done) ++open;
  }
  return open;
}

// Closes the connection that has been idle longest; false when none is idle.
// Its own thread sees the close when it wakes and ends it.
bool ForumServer::State::EvictLongestIdle() {
  Connection* oldest = nullptr;
  std::unique_lock<std::mutex> oldestLock;
  for (const auto& connection : connections) {
    std::unique_lock lock(connection->idleMutex);
    if (!connection->idle || connection->evicted) continue;
    if (oldest && connection->lastHeard >= oldest->lastHeard) continue;
    oldest = connection.get();
    oldestLock = std::move(lock);
  }
  if (!oldest) return false;
  oldest->evicted = true;
  shutdown(oldest->fd, SHUT_RDWR);
  return true;
}

// --- One connection. ---

void ForumServer::State::Serve(Connection& connection) {
  const int fd = connection.fd;
  std::string buffer;
  for (;;) {
    if (RequestLineTooLong(buffer)) {
      Refuse(fd, Refusal(414, "URI Too Long"));
      break;
    }
    const std::size_t headLength = RequestHeadLength(buffer);
    if (headLength > kMaxRequestHeadBytes ||
        (headLength == 0 && buffer.size() > kMaxRequestHeadBytes)) {
      Refuse(fd, Refusal(431, "Request Header Fields Too Large"));
      break;
    }
    if (headLength == 0) {
      if (!ReadRequestBytes(connection, buffer)) break;
      continue;
    }
    const std::optional<RequestHead> request =
        ParseRequestHead(std::string_view(buffer).substr(0, headLength));
    buffer.erase(0, headLength);
    if (!request) {
      Refuse(fd, Refusal(400, "Bad Request"));
      break;
    }
    if (!HandleRequest(fd, connection.number, *request)) break;
  }
  LingeringClose(fd);
  connection.done = true;
}

// Reads more of a request into buffer, idle while it waits; false when the
// client closed, at the idle time-out, at Stop, or when a new client closed
// the connection to take its place.
bool ForumServer::State::ReadRequestBytes(Connection& connection, std::string& buffer) {
  {
    std::lock_guard lock(connection.idleMutex);
    if (connection.evicted) return false;
    connection.idle = true;
  }
  const bool readable = WaitFor(connection.fd, POLLIN, kForumIdleTimeoutMs);
  {
    std::lock_guard lock(connection.idleMutex);
    connection.idle = false;
    if (!readable || connection.evicted) return false;
  }
  char piece[kReceiveBytes];
  const ssize_t received = recv(connection.fd, piece, sizeof piece, 0);
  if (received < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (received <= 0) return false;
  buffer.append(piece, static_cast<std::size_t>(received));
  std::lock_guard lock(connection.idleMutex);
  connection.lastHeard = std::chrono::steady_clock::now();
  return true;
}

// Answers one request; false when the connection is to be closed.
bool ForumServer::State::HandleRequest(int fd, std::size_t number, const RequestHead& request) {
  Record(request, number);
  const bool headOnly = request.method == "HEAD";
  if (!request.HostWellGiven()) return Refuse(fd, Refusal(400, "Bad Request"), headOnly);
  if (request.method != "GET" && !headOnly)
    return Refuse(fd, Refusal(405, "Method Not Allowed", "Allow: GET, HEAD"));
  // A GET of ours has no body; one that announces a body cannot be framed
  // safely, so the connection ends after the refusal.
  const std::string length = request.Field("Content-Length").value_or("0");
  if ((length != "0" && !length.empty()) || request.Field("Transfer-Encoding"))
    return Refuse(fd, Refusal(400, "Bad Request"), headOnly);
  Answer answer;
  switch (Decide(request, answer)) {
    case Verdict::Close:
      return false;
    case Verdict::Stall:
      WaitForStop();
      return false;
    case Verdict::Answer:
      break;
  }
  if (answer.delayMs > 0 && !PauseFor(answer.delayMs)) return false;
  const Manner manner{headOnly, request.Http10(), request.KeepAlive(),
                      request.Cookie(kSessionCookieName) != cookieValue};
  return SendAnswer(fd, answer, manner) && manner.keepAlive;
}

Verdict ForumServer::State::Decide(const RequestHead& request, Answer& answer) const {
  if (!request.TargetMayName(siteHost, port)) {
    answer = NotFound();
    return Verdict::Answer;
  }
  const std::string path = request.Path();
  PageEntry entry;
  {
    std::lock_guard lock(contentMutex);
    if (auto failure = failures.find(path); failure != failures.end()) {
      switch (failure->second) {
        case PageFailure::Close:
          return Verdict::Close;
        case PageFailure::Stall:
          return Verdict::Stall;
        case PageFailure::Status500:
          answer =
              Answer{500, "Internal Server Error", ErrorPage(u"服务器忙，请稍后再试。"), false};
          return Verdict::Answer;
        case PageFailure::None:
          break;
      }
    }
    const auto page = pages.find(path);
    if (page == pages.end()) {
      answer = NotFound();
      return Verdict::Answer;
    }
    entry = page->second;
    const auto chunking = chunked.find(path);
    answer.chunked = chunking != chunked.end() && chunking->second;
    if (const auto delay = delays.find(path); delay != delays.end()) answer.delayMs = delay->second;
  }
  answer.body = entry.body ? entry.body : entry.source->Page(entry.index);
  return Verdict::Answer;
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

bool ForumServer::State::SendAnswer(int fd, const Answer& answer, const Manner& manner) const {
  std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
  head += "Date: " + HttpDate(std::chrono::system_clock::now()) + "\r\n";
  head += "Server: velbrook-forum\r\n";
  if (answer.body) head += "Content-Type: text/html; charset=gb2312\r\n";
  // The session cookie: set until the client sends it back.
  if (manner.setCookie)
    head += "Set-Cookie: " + std::string(kSessionCookieName) + "=" + cookieValue + "; path=/\r\n";
  if (answer.extraField) head += std::string(answer.extraField) + "\r\n";
  const std::string_view body = answer.body ? std::string_view(*answer.body) : std::string_view();
  // An HTTP/1.0 client knows no chunked coding (RFC 9112 section 6.1).
  const bool chunked = answer.chunked && !manner.http10;
  if (chunked)
    head += "Transfer-Encoding: chunked\r\n";
  else
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (!manner.keepAlive)
    head += "Connection: close\r\n";
  else if (manner.http10)
    head += "Connection: keep-alive\r\n";
  head += "\r\n";
  if (!SendAll(fd, head)) return false;
  if (manner.headOnly) return true;
  if (!chunked) return SendAll(fd, body);
  for (std::size_t offset = 0; offset < body.size(); offset += kChunkBytes) {
    const std::string_view chunk = std::string_view(body).substr(offset, kChunkBytes);
    if (!SendAll(fd, HexSize(chunk.size()) + "\r\n") || !SendAll(fd, chunk) || !SendAll(fd, "\r\n"))
      return false;
  }
  return SendAll(fd, "0\r\n\r\n");
}

bool ForumServer::State::Refuse(int fd, const Answer& refusal, bool headOnly) const {
  SendAnswer(fd, refusal, Manner{headOnly, false, false, false});
  return false;
}

// --- Waiting and sending, always interruptible by Stop. ---

bool ForumServer::State::WaitFor(int fd, short events, int timeoutMs) const {
  pollfd watched[2] = {{fd, events, 0}, {wakeRead, POLLIN, 0}};
  for (;;) {
    const int ready = poll(watched, 2, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || watched[1].revents != 0) return false;
    return true;  // readable, writable, or closed: the next call finds out
  }
}

bool ForumServer::State::SendAll(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT, kForumIdleTimeoutMs)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void ForumServer::State::LingeringClose(int fd) const {
  shutdown(fd, SHUT_WR);
  char piece[kReceiveBytes];
  std::size_t drained = 0;
  while (drained < kMaxLingerBytes && WaitFor(fd, POLLIN, kLingerMs)) {
    const ssize_t received = recv(fd, piece, sizeof piece, 0);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (received <= 0) break;
    drained += static_cast<std::size_t>(received);
  }
  close(fd);
}

void ForumServer::State::WaitForStop() const {
  pollfd wake{wakeRead, POLLIN, 0};
  while (running && poll(&wake, 1, -1) <= 0) {
  }
}

bool ForumServer::State::PauseFor(int delayMs) const {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(delayMs);
  pollfd wake{wakeRead, POLLIN, 0};
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
    if (poll(&wake, 1, static_cast<int>(left)) > 0 || !running) return false;
  }
  return true;
}

}  // namespace velbrook
