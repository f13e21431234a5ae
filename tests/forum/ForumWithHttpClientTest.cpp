// The forum as the program's own HTTP client sees it: the client is dialled
// to the forum's loopback port while the addresses keep the forum site's host.
#include <gtest/gtest.h>

#include "fetch/HttpClient.h"
#include "forum/ForumServer.h"
#include "forum/SampleThreads.h"
#include "os/Connect.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

const Text kSite = u"http://www.forum.example";
// Long enough never to fire on loopback; a stalled page is ended by Stop.
constexpr int kReadTimeoutMs = 30000;

class ForumWithHttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSampleThreads(forum_);
    forum_.Start();
    const uint16_t port = forum_.Port();
    client_.SetConnector([port](const std::string& host, uint16_t) {
      EXPECT_EQ(host, "www.forum.example");
      return ConnectTcp("127.0.0.1", port);
    });
    client_.SetReadTimeout(kReadTimeoutMs);
  }
  Text Fetch(TextView name) {
    std::string body;
    client_.Get(kSite + FromUtf8(ThreadPagePath(name)), body);
    return DecodeCp936(body);
  }

  ForumServer forum_{kSite};
  HttpClient client_;
};

TEST_F(ForumWithHttpClient, ReadsEveryPageOverOneConnectionWithTheCookieBack) {
  const ForumThread thread = SerialThread();
  for (std::size_t i = 0; i < thread.pages.size(); ++i)
    EXPECT_EQ(Fetch(thread.pages[i].name), WriteThreadPage(thread, i, kSite)) << "page " << i;
  EXPECT_EQ(forum_.ConnectionCount(), 1u);
  const std::vector<RequestRecord> records = forum_.Requests();
  ASSERT_EQ(records.size(), thread.pages.size());
  EXPECT_FALSE(records[0].cookieCame);
  for (std::size_t i = 1; i < records.size(); ++i) EXPECT_TRUE(records[i].cookieCame) << i;
  EXPECT_EQ(records[0].host, "www.forum.example");
  EXPECT_EQ(records[1].target, ThreadPagePath(thread.pages[1].name));
}

TEST_F(ForumWithHttpClient, FailsOnAPageThatAnswers500AndGoesOn) {
  const std::string page = ThreadPagePath(OnePageThread().pages[0].name);
  forum_.FailPage(page, PageFailure::Status500);
  try {
    Fetch(kOnePageThreadName);
    ADD_FAILURE() << "a 500 was taken for a page";
  } catch (const FetchError& error) {
    EXPECT_EQ(error.failure(), FetchFailure::ProtocolError);
    EXPECT_EQ(error.code(), 500);
  }
  forum_.ClearFailures();
  EXPECT_NE(Fetch(kOnePageThreadName).find(u"一碗阳春面"), Text::npos);
  EXPECT_EQ(forum_.ConnectionCount(), 1u);
}

TEST_F(ForumWithHttpClient, FailsOnAPageWhoseConnectionCloses) {
  forum_.FailPage(ThreadPagePath(kOnePageThreadName), PageFailure::Close);
  EXPECT_THROW(Fetch(kOnePageThreadName), FetchError);
  forum_.ClearFailures();
  EXPECT_NE(Fetch(kOnePageThreadName).find(u"面馆老板"), Text::npos);
}

TEST_F(ForumWithHttpClient, ReadsAGeneratedPageWhole) {
  GeneratedThread shape;
  shape.firstName = u"8200";
  shape.pageCount = 3;
  shape.postsPerPage = 40;
  shape.postChars = 5000;
  forum_.AddGeneratedThread(shape);
  const Text page = Fetch(u"8200-3");
  const ForumThread skeleton = GeneratedSkeleton(shape);
  EXPECT_EQ(page, WriteThreadPage(skeleton, 2, GeneratedPage(shape, 2), kSite));
}

}  // namespace
}  // namespace velbrook
