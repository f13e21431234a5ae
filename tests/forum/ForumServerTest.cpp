// The forum on the wire: keep-alive, the session cookie, chunked pages, the
// failures it can be told to make, its record of requests and its manners
// towards hostile clients.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "fetch/InternetDate.h"
#include "forum/ForumServer.h"
#include "forum/RequestHead.h"
#include "forum/SampleThreads.h"
#include "tests/forum/ForumClient.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"
#include "text/ImfDate.h"

namespace velbrook {
namespace {

using testing::ForumClient;
using testing::RawResponse;

const std::string kPage1 = ThreadPagePath(kSerialThreadName);
const std::string kPage2 = ThreadPagePath(NumberedPageName(kSerialThreadName, 2));
const std::string kPage3 = ThreadPagePath(NumberedPageName(kSerialThreadName, 3));
const std::string kHost = "Host: www.forum.example\r\n";

class ForumServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSampleThreads(forum_);
    forum_.Start();
  }
  RawResponse Get(ForumClient& client, const std::string& target,
                  const std::vector<std::string>& extra = {}) {
    client.SendGet(target, extra);
    std::optional<RawResponse> response = client.ReadResponse();
    if (!response) ADD_FAILURE() << "no response for " << target;
    return response.value_or(RawResponse{});
  }
  std::string CookieHeader() const { return "Cookie: " + forum_.SessionCookie(); }

  ForumServer forum_{u"http://www.forum.example"};
};

TEST_F(ForumServerTest, ListensOnAnEphemeralLoopbackPort) {
  EXPECT_TRUE(forum_.Running());
  EXPECT_NE(forum_.Port(), 0);
}

TEST_F(ForumServerTest, ServesEveryPageOfAThreadOverOneConnection) {
  ForumClient client(forum_.Port());
  for (const ForumPage& page : SerialThread().pages) {
    const RawResponse response = Get(client, ThreadPagePath(page.name));
    EXPECT_EQ(response.status, 200);
    EXPECT_NE(DecodeCp936(response.body).find(u"开始首贴作者和日期"), Text::npos);
    EXPECT_FALSE(response.Header("Connection"));
  }
  EXPECT_EQ(forum_.ConnectionCount(), 1u);
  EXPECT_EQ(forum_.RequestCount(), SerialThread().pages.size());
}

TEST_F(ForumServerTest, FramesPagesByLengthAndOneChunked) {
  ForumClient client(forum_.Port());
  const RawResponse first = Get(client, kPage1);
  EXPECT_FALSE(first.chunked);
  EXPECT_EQ(first.Header("Content-Length"), std::to_string(first.body.size()));
  const RawResponse chunked = Get(client, kPage2);
  EXPECT_TRUE(chunked.chunked);
  EXPECT_FALSE(chunked.Header("Content-Length"));
  forum_.SetChunked(kPage2, false);
  const RawResponse whole = Get(client, kPage2);
  EXPECT_FALSE(whole.chunked);
  EXPECT_EQ(chunked.body, whole.body);
}

TEST_F(ForumServerTest, SetsTheSessionCookieUntilItComesBack) {
  ForumClient client(forum_.Port());
  const RawResponse first = Get(client, kPage1);
  const std::optional<std::string> setCookie = first.Header("Set-Cookie");
  ASSERT_TRUE(setCookie);
  EXPECT_EQ(setCookie->substr(0, setCookie->find(';')), forum_.SessionCookie());
  const RawResponse second = Get(client, kPage2, {CookieHeader()});
  EXPECT_FALSE(second.Header("Set-Cookie"));
  const RawResponse wrong = Get(client, kPage3, {"Cookie: vbsid=forged"});
  EXPECT_TRUE(wrong.Header("Set-Cookie"));
  EXPECT_EQ(wrong.status, 200);  // answered all the same

  const std::vector<RequestRecord> records = forum_.Requests();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_FALSE(records[0].cookieCame);
  EXPECT_TRUE(records[1].cookieCame);
  EXPECT_FALSE(records[2].cookieCame);
}

TEST_F(ForumServerTest, FindsTheCookieAmongOthers) {
  ForumClient client(forum_.Port());
  Get(client, kPage1, {"Cookie: a=1; " + forum_.SessionCookie() + "; b=2"});
  EXPECT_TRUE(forum_.Requests().at(0).cookieCame);
}

TEST_F(ForumServerTest, RecordsTargetHostHeadersAndConnection) {
  {
    ForumClient client(forum_.Port());
    Get(client, kPage1 + "?from=list", {"X-Probe: one"});
  }
  ForumClient second(forum_.Port());
  Get(second, kPage2);
  const std::vector<RequestRecord> records = forum_.Requests();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].target, kPage1 + "?from=list");
  EXPECT_EQ(records[0].host, "www.forum.example");
  EXPECT_EQ(records[0].connection, 1u);
  EXPECT_EQ(records[0].headerLines.back(), "X-Probe: one");
  EXPECT_EQ(records[1].connection, 2u);
  EXPECT_EQ(forum_.ConnectionCount(), 2u);
  forum_.ClearRecords();
  EXPECT_EQ(forum_.RequestCount(), 0u);
  EXPECT_EQ(forum_.ConnectionCount(), 0u);
}

TEST_F(ForumServerTest, IgnoresTheQueryWhenFindingThePage) {
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, kPage1 + "?a=1#p3").body, Get(client, kPage1).body);
}

TEST_F(ForumServerTest, AnswersAnUnknownPageWithNotFoundAndKeepsTheConnection) {
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, "/publicforum/content/funinfo/1/404404.shtml").status, 404);
  EXPECT_EQ(Get(client, kPage1).status, 200);
  EXPECT_EQ(forum_.ConnectionCount(), 1u);
}

struct CloseCase {
  const char* name;
  std::string head;
};

class ClosingRequests : public ForumServerTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosingRequests, GetTheirAnswerAndThenTheClose) {
  ForumClient client(forum_.Port());
  client.Send(GetParam().head);
  const std::optional<RawResponse> response = client.ReadResponse();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->Header("Connection"), "close");
  EXPECT_EQ(client.ReadUntilClosed(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Forum, ClosingRequests,
    ::testing::Values(CloseCase{"connection_close", "GET " + kPage1 + " HTTP/1.1\r\n" + kHost +
                                                        "Connection: close\r\n\r\n"},
                      CloseCase{"close_in_capitals", "GET " + kPage1 + " HTTP/1.1\r\n" + kHost +
                                                         "Connection: CLOSE\r\n\r\n"},
                      CloseCase{"close_among_options", "GET " + kPage1 + " HTTP/1.1\r\n" + kHost +
                                                           "Connection: keep-alive, close\r\n\r\n"},
                      CloseCase{"http10_plain", "GET " + kPage1 + " HTTP/1.0\r\n\r\n"},
                      CloseCase{"http10_other_option",
                                "GET " + kPage1 + " HTTP/1.0\r\nConnection: TE\r\n\r\n"}),
    testing::RowName());

TEST_F(ForumServerTest, KeepsAnHttp10ClientThatAsksForKeepAlive) {
  for (const char* field : {"Connection: keep-alive", "connection: TE, Keep-Alive"}) {
    ForumClient client(forum_.Port());
    // The chunked page goes by its length: HTTP/1.0 knows no chunks.
    client.Send("GET " + kPage2 + " HTTP/1.0\r\n" + field + "\r\n\r\n");
    const std::optional<RawResponse> first = client.ReadResponse();
    ASSERT_TRUE(first) << field;
    EXPECT_EQ(first->Header("Connection"), "keep-alive") << field;
    EXPECT_FALSE(first->chunked) << field;
    client.SendGet(kPage2);
    const std::optional<RawResponse> again = client.ReadResponse();
    ASSERT_TRUE(again) << field;
    EXPECT_EQ(again->status, 200);
    EXPECT_EQ(again->body, first->body);
  }
  EXPECT_EQ(forum_.ConnectionCount(), 2u);
}

TEST_F(ForumServerTest, AnswersPipelinedRequestsInOrder) {
  ForumClient client(forum_.Port());
  client.Send("GET " + kPage1 + " HTTP/1.1\r\n" + kHost + "\r\nGET /nowhere HTTP/1.1\r\n" + kHost +
              "\r\n");
  const std::optional<RawResponse> first = client.ReadResponse();
  const std::optional<RawResponse> second = client.ReadResponse();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(second->status, 404);
}

TEST_F(ForumServerTest, AnswersHeadWithTheHeadOfGetAndNoBody) {
  for (const std::string& target : {kPage1, kPage2, std::string("/nowhere")}) {
    ForumClient getter(forum_.Port());
    const RawResponse got = Get(getter, target);
    ForumClient client(forum_.Port());
    // The GET right behind it is read whole only if HEAD sent no body.
    client.Send("HEAD " + target + " HTTP/1.1\r\n" + kHost + "\r\n");
    client.SendGet(target);
    const std::optional<RawResponse> head = client.ReadHeadOnly();
    const std::optional<RawResponse> after = client.ReadResponse();
    ASSERT_TRUE(head && after) << target;
    EXPECT_EQ(head->status, got.status) << target;
    for (const char* field : {"Content-Length", "Transfer-Encoding", "Content-Type", "Set-Cookie"})
      EXPECT_EQ(head->Header(field), got.Header(field)) << target << " " << field;
    EXPECT_EQ(after->status, got.status) << target;
    EXPECT_EQ(after->body, got.body) << target;
  }
}

struct TargetCase {
  const char* name;
  std::string target;
  int status;
};

class AbsoluteTargets : public ForumServerTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(AbsoluteTargets, AreServedForTheForumsHostAlone) {
  ForumClient client(forum_.Port());
  // The target's host counts, not the Host line (RFC 9112 section 3.2.2).
  std::string target = GetParam().target;
  if (const std::size_t mark = target.find("{port}"); mark != std::string::npos)
    target.replace(mark, 6, std::to_string(forum_.Port()));
  client.Send("GET " + target + " HTTP/1.1\r\nHost: elsewhere.example\r\n\r\n");
  const std::optional<RawResponse> response = client.ReadResponse();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, GetParam().status);
  if (GetParam().status == 200) {
    EXPECT_EQ(response->body, Get(client, kPage1).body);
  }
  EXPECT_EQ(Get(client, kPage1).status, 200);  // and the connection serves on
}

INSTANTIATE_TEST_SUITE_P(
    Forum, AbsoluteTargets,
    ::testing::Values(TargetCase{"site_host", "http://www.forum.example" + kPage1, 200},
                      TargetCase{"in_capitals", "HTTP://WWW.Forum.Example" + kPage1, 200},
                      TargetCase{"with_query", "http://www.forum.example" + kPage1 + "?a=1", 200},
                      TargetCase{"port_80", "http://www.forum.example:80" + kPage1, 200},
                      TargetCase{"forums_own_port", "http://www.forum.example:{port}" + kPage1,
                                 200},
                      TargetCase{"other_host", "http://elsewhere.example" + kPage1, 404},
                      TargetCase{"longer_host", "http://www.forum.example.net" + kPage1, 404},
                      TargetCase{"other_port", "http://www.forum.example:8080" + kPage1, 404},
                      TargetCase{"user_info", "http://me@www.forum.example" + kPage1, 404},
                      TargetCase{"https", "https://www.forum.example" + kPage1, 404},
                      TargetCase{"no_path", "http://www.forum.example", 404}),
    testing::RowName());

TEST_F(ForumServerTest, DatesEveryAnswerFromTheClock) {
  const std::vector<std::string> requests = {
      "GET " + kPage1 + " HTTP/1.1\r\n" + kHost + "\r\n",
      "GET /nowhere HTTP/1.0\r\n\r\n",
      "HEAD " + kPage2 + " HTTP/1.1\r\n" + kHost + "\r\n",
      "DELETE " + kPage1 + " HTTP/1.1\r\n" + kHost + "\r\n",
      "GET / HTTP/1.1\r\n\r\n",
      "nonsense\r\n\r\n",
  };
  for (const std::string& request : requests) {
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
    ForumClient client(forum_.Port());
    client.Send(request);
    const std::optional<RawResponse> response =
        request.starts_with("HEAD") ? client.ReadHeadOnly() : client.ReadResponse();
    const auto after = std::chrono::system_clock::now() + std::chrono::seconds(1);
    ASSERT_TRUE(response) << request;
    const std::string date = response->Header("Date").value_or("");
    const auto moment = ReadInternetDate(date);
    ASSERT_TRUE(moment) << request << date;
    EXPECT_EQ(WriteGmtDate(*moment), date) << "not an IMF-fixdate: " << date;
    EXPECT_TRUE(before <= *moment && *moment <= after) << date;
  }
}

TEST_F(ForumServerTest, GivesANewClientThePlaceOfTheConnectionIdleLongest) {
  const auto idle = testing::OpenIdleClients(forum_.Port(), kForumMaxConnections, kPage1);
  ASSERT_EQ(idle.size(), kForumMaxConnections);
  std::vector<std::unique_ptr<ForumClient>> newcomers;
  for (std::size_t evicted = 0; evicted < 2; ++evicted) {
    newcomers.push_back(std::make_unique<ForumClient>(forum_.Port()));
    EXPECT_EQ(Get(*newcomers.back(), kPage1).status, 200);
    EXPECT_EQ(idle[evicted]->ReadUntilClosed(), "") << evicted;
  }
  EXPECT_EQ(Get(*idle.back(), kPage2).status, 200);
  EXPECT_EQ(Get(*newcomers.front(), kPage2).status, 200);
}

// --- Failures on order. ---

TEST_F(ForumServerTest, ClosesWithoutAnswerForAPageToldToClose) {
  forum_.FailPage(kPage2, PageFailure::Close);
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, kPage1).status, 200);
  client.SendGet(kPage2);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  EXPECT_EQ(forum_.Requests().back().target, kPage2);  // it was read all the same
}

TEST_F(ForumServerTest, AnswersStatus500AndKeepsServing) {
  forum_.FailPage(kPage2, PageFailure::Status500);
  ForumClient client(forum_.Port());
  const RawResponse failed = Get(client, kPage2);
  EXPECT_EQ(failed.status, 500);
  EXPECT_NE(DecodeCp936(failed.body).find(u"服务器忙"), Text::npos);
  EXPECT_EQ(Get(client, kPage1).status, 200);
  forum_.ClearFailures();
  EXPECT_EQ(Get(client, kPage2).status, 200);
}

TEST_F(ForumServerTest, StallsUntilStoppedAndSendsNothing) {
  forum_.FailPage(kPage1, PageFailure::Stall);
  ForumClient client(forum_.Port());
  client.SendGet(kPage1);
  // Once the forum has read the request it is stalling on it.
  while (forum_.RequestCount() == 0) std::this_thread::yield();
  forum_.Stop();
  EXPECT_FALSE(forum_.Running());
  EXPECT_EQ(client.ReadUntilClosed(), "");
}

TEST_F(ForumServerTest, AnswersADelayedPageNoSoonerThanItsDelayAndTheOthersAtOnce) {
  forum_.DelayPage(kPage2, 300);
  ForumClient client(forum_.Port());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get(client, kPage2).status, 200);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(Get(client, kPage1).status, 200);
  // Stop cuts a wait short: a long delay does not hold it up.
  forum_.DelayPage(kPage2, 600000);
  client.SendGet(kPage2);
  while (forum_.RequestCount() < 3) std::this_thread::yield();
  forum_.Stop();
  EXPECT_EQ(client.ReadUntilClosed(), "");
}

TEST_F(ForumServerTest, StopEndsIdleKeptAliveConnections) {
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, kPage1).status, 200);
  forum_.Stop();
  EXPECT_EQ(client.ReadUntilClosed(), "");
  forum_.Stop();  // a second stop does nothing
}

TEST_F(ForumServerTest, StartsAgainAfterStop) {
  forum_.Stop();
  forum_.Start();
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, kPage1).status, 200);
}

// --- Start's failures. ---

// The number of the fd that the process opens after count more: a limit
// there lets exactly count more be opened.
int FdNumberAfter(std::size_t count) {
  std::vector<int> held;
  for (std::size_t i = 0; i <= count; ++i) held.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
  for (const int fd : held) close(fd);
  return held.back();
}

// While it lives, the process may open only count more fds.
class FdLimit {
 public:
  explicit FdLimit(std::size_t count) {
    // UBSan checks an object's dynamic type the first time through a pipe of
    // its own, which no fd would be left for: the error's type is met once here.
    [[maybe_unused]] const std::system_error seen(EMFILE, std::generic_category(), "");
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(FdNumberAfter(count));
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~FdLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
  FdLimit(const FdLimit&) = delete;
  FdLimit& operator=(const FdLimit&) = delete;

 private:
  rlimit saved_{};
};

struct StartFault {
  const char* name;
  bool portInUse;    // Start asks for the port of another forum
  int fdsLeft;       // fds that Start may open; -1: no limit
  const char* call;  // the call that fails
  int error;
};

class StartFailures : public ::testing::TestWithParam<StartFault> {};

TEST_P(StartFailures, NameTheCallThatFailedAndLeaveNothingOpen) {
  const StartFault& fault = GetParam();
  ForumServer other(u"http://www.forum.example");
  if (fault.portInUse) other.Start();
  ForumServer forum(u"http://www.forum.example");
  const int firstFree = FdNumberAfter(0);
  try {
    std::optional<FdLimit> limit;
    if (fault.fdsLeft >= 0) limit.emplace(static_cast<std::size_t>(fault.fdsLeft));
    forum.Start(other.Port());
    ADD_FAILURE() << "started";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), fault.error);
    EXPECT_STREQ(error.what(), std::system_error(error.code(), fault.call).what());
  }
  EXPECT_FALSE(forum.Running());
  EXPECT_EQ(FdNumberAfter(0), firstFree);
  // Nothing is left half set up either.
  forum.Start();
  EXPECT_TRUE(forum.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Forum, StartFailures,
    ::testing::Values(StartFault{"port_in_use", true, -1, "bind", EADDRINUSE},
                      StartFault{"no_fd_for_the_waker", false, 0, "eventfd", EMFILE},
                      StartFault{"no_fd_for_the_socket", false, 1, "socket", EMFILE}),
    testing::RowName());

// --- Hostile clients. ---

struct HostileCase {
  const char* name;
  std::string bytes;
  int status;
};

class HostileRequests : public ForumServerTest,
                        public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileRequests, AreRefusedAndTheConnectionClosed) {
  ForumClient client(forum_.Port());
  client.Send(GetParam().bytes);
  const std::optional<RawResponse> response = client.ReadResponse();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, GetParam().status);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  // The forum lives on for everybody else.
  ForumClient next(forum_.Port());
  EXPECT_EQ(Get(next, kPage1).status, 200);
}

std::string ManyHeaderLines() {
  std::string head = "GET / HTTP/1.1\r\n";
  for (std::size_t i = 0; i <= kMaxRequestHeaderLines; ++i)
    head += "X-" + std::to_string(i) + ": y\r\n";
  return head + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Forum, HostileRequests,
    ::testing::Values(
        HostileCase{"garbage", "\x01\x02\xff garbage\r\n\r\n", 400},
        HostileCase{"nul_in_target", std::string("GET /a\0b HTTP/1.1\r\n\r\n", 21), 400},
        HostileCase{"no_version", "GET /\r\n\r\n", 400},
        HostileCase{"header_without_colon", "GET / HTTP/1.1\r\nnonsense\r\n\r\n", 400},
        HostileCase{"too_many_lines", ManyHeaderLines(), 400},
        HostileCase{"post",
                    "POST " + kPage1 + " HTTP/1.1\r\n" + kHost + "Content-Length: 3\r\n\r\nabc",
                    405},
        HostileCase{"get_with_body",
                    "GET " + kPage1 + " HTTP/1.1\r\n" + kHost + "Content-Length: 3\r\n\r\nabc",
                    400},
        HostileCase{
            "get_chunked",
            "GET " + kPage1 + " HTTP/1.1\r\n" + kHost + "Transfer-Encoding: chunked\r\n\r\n", 400},
        HostileCase{"endless_head",
                    "GET / HTTP/1.1\r\nX: " + std::string(kMaxRequestHeadBytes, 'a'), 431},
        HostileCase{"http11_without_host", "GET " + kPage1 + " HTTP/1.1\r\n\r\n", 400},
        HostileCase{"head_without_host", "HEAD " + kPage1 + " HTTP/1.1\r\n\r\n", 400},
        HostileCase{"two_hosts", "GET " + kPage1 + " HTTP/1.1\r\n" + kHost + kHost + "\r\n", 400},
        HostileCase{
            "long_request_line",
            "GET /" + std::string(kMaxRequestLineBytes, 'a') + " HTTP/1.1\r\n" + kHost + "\r\n",
            414},
        HostileCase{"long_line_unfinished", "GET /" + std::string(kMaxRequestLineBytes, 'a'), 414}),
    testing::RowName());

TEST_F(ForumServerTest, SurvivesAClientThatLeavesMidRequest) {
  {
    ForumClient client(forum_.Port());
    client.Send("GET " + kPage1 + " HTTP/1.1\r\nHost: w");
  }
  ForumClient next(forum_.Port());
  EXPECT_EQ(Get(next, kPage1).status, 200);
}

// --- The large generated thread. ---

TEST_F(ForumServerTest, ServesAGeneratedThreadPageTheSameEachTime) {
  GeneratedThread shape;
  shape.firstName = u"8100";
  shape.pageCount = 30;
  shape.postsPerPage = 10;
  shape.postChars = 2000;
  forum_.AddGeneratedThread(shape);
  ForumClient client(forum_.Port());
  const RawResponse last = Get(client, ThreadPagePath(u"8100-30"));
  ASSERT_EQ(last.status, 200);
  // Two bytes a character in code page 936, plus the markup.
  EXPECT_GT(last.body.size(), shape.postsPerPage * shape.postChars * 2);
  EXPECT_EQ(Get(client, ThreadPagePath(u"8100-30")).body, last.body);
  EXPECT_EQ(Get(client, ThreadPagePath(u"8100-31")).status, 404);
  const Text page = DecodeCp936(last.body);
  EXPECT_NE(page.find(u"value=\"8100,8100-2,"), Text::npos);
}

TEST_F(ForumServerTest, ServesARawPageAsGiven) {
  forum_.AddRawPage("/raw.shtml", std::string("\x81\x40 raw", 6));
  ForumClient client(forum_.Port());
  EXPECT_EQ(Get(client, "/raw.shtml").body, std::string("\x81\x40 raw", 6));
}

}  // namespace
}  // namespace velbrook
