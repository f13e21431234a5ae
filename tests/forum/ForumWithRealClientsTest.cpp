// The forum as real clients see it: curl asking in each way that a user's
// tools ask, and ApacheBench keeping HTTP/1.0 connections alive. After each,
// a plain client must be answered at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fetch/InternetDate.h"
#include "forum/ForumServer.h"
#include "forum/RequestHead.h"
#include "forum/SampleThreads.h"
#include "tests/forum/ForumClient.h"
#include "tests/support/CaseName.h"
#include "tests/support/RunProgram.h"
#include "text/ImfDate.h"

namespace velbrook {
namespace {

using testing::ForumClient;
using testing::InstalledProgram;
using testing::RunProgram;

const std::string kPage1 = ThreadPagePath(kSerialThreadName);
const std::string kPage2 = ThreadPagePath(NumberedPageName(kSerialThreadName, 2));
const std::string kStatusAndConnects = "%{http_code} %{num_connects}\\n";
// A guard against a hung client, not a measurement.
const std::string kHangGuardSeconds = "30";

class ForumWithRealClients : public ::testing::Test {
 protected:
  void SetUp() override {
    if (InstalledProgram("curl").empty())
      GTEST_SKIP() << "curl is missing; scripts/setup installs it";
    AddSampleThreads(forum_);
    forum_.Start();
  }

  // text with {port}, {url} (the forum by its loopback address) and
  // {length1} (the size of the first page) filled in.
  std::string Fill(std::string text) {
    const auto fill = [&text](const std::string& name, const auto& value) {
      for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at))
        text.replace(at, name.size(), value());
    };
    fill("{port}", [this] { return std::to_string(forum_.Port()); });
    fill("{url}", [this] { return "http://127.0.0.1:" + std::to_string(forum_.Port()); });
    fill("{length1}", [this] { return std::to_string(PlainGet(kPage1).body.size()); });
    return text;
  }

  // What curl writes out for args (filled in), no proxy of the environment used.
  std::string Curl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"curl", "-s", "--max-time", kHangGuardSeconds, "--proxy", ""};
    for (const std::string& arg : args) argv.push_back(Fill(arg));
    const std::optional<testing::ProgramResult> result = RunProgram(argv);
    if (!result) ADD_FAILURE() << "curl did not start";
    if (result && result->exitCode != 0) ADD_FAILURE() << "curl failed: " << result->exitCode;
    return result ? result->output : "";
  }

  testing::RawResponse PlainGet(const std::string& target) {
    ForumClient client(forum_.Port());
    client.SendGet(target);
    return client.ReadResponse().value_or(testing::RawResponse{});
  }

  ForumServer forum_{u"http://www.forum.example"};
};

struct CurlCase {
  const char* name;
  std::vector<std::string> args;
  std::string written;  // curl's write-out, filled in
};

class CurlRequests : public ForumWithRealClients, public ::testing::WithParamInterface<CurlCase> {};

TEST_P(CurlRequests, AreAnsweredAsHttpWants) {
  EXPECT_EQ(Curl(GetParam().args), Fill(GetParam().written));
  EXPECT_EQ(PlainGet(kPage1).status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Forum, CurlRequests,
    ::testing::Values(
        CurlCase{"by_site_host",
                 {"--resolve", "www.forum.example:{port}:127.0.0.1", "-o", "/dev/null", "-w",
                  kStatusAndConnects, "http://www.forum.example:{port}" + kPage1},
                 "200 1\n"},
        CurlCase{"two_pages_one_connection",
                 {"-o", "/dev/null", "-o", "/dev/null", "-w", kStatusAndConnects, "{url}" + kPage1,
                  "{url}" + kPage2},
                 "200 1\n200 0\n"},
        CurlCase{"http10_kept_alive",
                 {"--http1.0", "-H", "Connection: keep-alive", "-o", "/dev/null", "-o", "/dev/null",
                  "-w", "%{http_code} %{num_connects} %header{connection}\\n", "{url}" + kPage1,
                  "{url}" + kPage2},
                 "200 1 keep-alive\n200 0 keep-alive\n"},
        CurlCase{"http10_closed",
                 {"--http1.0", "-o", "/dev/null", "-o", "/dev/null", "-w",
                  "%{http_code} %{num_connects} %header{connection}\\n", "{url}" + kPage1,
                  "{url}" + kPage2},
                 "200 1 close\n200 1 close\n"},
        CurlCase{"head",
                 {"-I", "-o", "/dev/null", "-w",
                  "%{http_code} %{size_download} %header{content-length}\\n", "{url}" + kPage1},
                 "200 0 {length1}\n"},
        CurlCase{"through_a_proxy_setting",
                 {"--proxy", "http://127.0.0.1:{port}", "-o", "/dev/null", "-w", kStatusAndConnects,
                  "http://www.forum.example" + kPage1},
                 "200 1\n"},
        CurlCase{"through_a_proxy_setting_elsewhere",
                 {"--proxy", "http://127.0.0.1:{port}", "-o", "/dev/null", "-w", kStatusAndConnects,
                  "http://elsewhere.example" + kPage1},
                 "404 1\n"},
        CurlCase{"without_host",
                 {"-H", "Host:", "-o", "/dev/null", "-w", kStatusAndConnects, "{url}" + kPage1},
                 "400 1\n"},
        CurlCase{"long_target",
                 {"-o", "/dev/null", "-w", kStatusAndConnects,
                  "{url}" + kPage1 + "?" + std::string(kMaxRequestLineBytes, 'q')},
                 "414 1\n"}),
    testing::RowName());

TEST_F(ForumWithRealClients, CurlReadsTheDate) {
  const std::string date = Curl({"-o", "/dev/null", "-w", "%header{date}", "{url}" + kPage1});
  const auto moment = ReadInternetDate(date);
  ASSERT_TRUE(moment) << date;
  EXPECT_EQ(WriteGmtDate(*moment), date);
}

TEST_F(ForumWithRealClients, CurlIsServedWhileEveryConnectionIsHeldIdle) {
  const auto idle = testing::OpenIdleClients(forum_.Port(), kForumMaxConnections, kPage1);
  ASSERT_EQ(idle.size(), kForumMaxConnections);
  EXPECT_EQ(Curl({"-o", "/dev/null", "-w", kStatusAndConnects, "{url}" + kPage1}), "200 1\n");
}

TEST_F(ForumWithRealClients, ApacheBenchKeepsHttp10ConnectionsAlive) {
  if (InstalledProgram("ab").empty()) GTEST_SKIP() << "ab is missing; scripts/setup installs it";
  const std::string requests = "20";
  const std::optional<testing::ProgramResult> result =
      RunProgram({"ab", "-q", "-k", "-n", requests, "-c", "2", "-s", kHangGuardSeconds,
                  "http://127.0.0.1:" + std::to_string(forum_.Port()) + kPage1});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->exitCode, 0) << result->output;
  for (const std::string& line :
       {"Complete requests:      " + requests, std::string("Failed requests:        0"),
        "Keep-Alive requests:    " + requests})
    EXPECT_NE(result->output.find(line), std::string::npos) << line << "\n" << result->output;
  EXPECT_EQ(forum_.ConnectionCount(), 2u);
  EXPECT_EQ(PlainGet(kPage1).status, 200);
}

}  // namespace
}  // namespace velbrook
