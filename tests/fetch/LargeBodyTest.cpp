// Bodies far larger than one receive piece: once the head is read, the body
// is received straight into the page's buffer, and none of that may take a
// byte of the response's end or of whatever the peer sends after it.
#include <gtest/gtest.h>

#include "tests/fetch/ClientFixture.h"
#include "tests/support/CaseName.h"

namespace velbrook::testing {
namespace {

constexpr const char16_t* kPage = u"http://www.forum.example/p/1.shtml";
constexpr const char16_t* kNextPage = u"http://www.forum.example/p/2.shtml";
// Many receive pieces (32 KB) and an odd size, so no piece ends on a boundary.
constexpr size_t kLargeBytes = 300007;

// Bytes whose every position differs from its neighbours', so a lost, doubled
// or shifted piece shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2463534242u;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state);
  }
  return bytes;
}

std::string Chunked(const std::string& body, size_t chunkBytes) {
  std::string framed;
  char size[24];
  for (size_t at = 0; at < body.size(); at += chunkBytes) {
    const std::string piece = body.substr(at, chunkBytes);
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    framed += size + piece + "\r\n";
  }
  return framed + "0\r\n\r\n";
}

struct LargeCase {
  const char* name;
  std::string response;
  std::string body;
};

class LargeBodyTest : public ClientTest, public ::testing::WithParamInterface<LargeCase> {};

TEST_P(LargeBodyTest, BodyArrivesWhole) {
  Serve({{ReplyAndClose(GetParam().response)}});
  const std::string body = Fetch(kPage);
  ASSERT_EQ(body.size(), GetParam().body.size());
  EXPECT_TRUE(body == GetParam().body);
}

const std::string kLarge = Pattern(kLargeBytes);

INSTANTIATE_TEST_SUITE_P(
    Framings, LargeBodyTest,
    ::testing::Values(
        LargeCase{"KnownLength", Ok(kLarge), kLarge},
        LargeCase{"KnownLengthClosedEarly",
                  HttpResponse("HTTP/1.1 200 OK", "Content-Length: 400000\r\n", kLarge), kLarge},
        LargeCase{"UntilClose", HttpResponse("HTTP/1.1 200 OK", "", kLarge), kLarge},
        LargeCase{"LargeChunks",
                  HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                               Chunked(kLarge, 100003)),
                  kLarge},
        LargeCase{"ChunksOfOnePieceAndABit",
                  HttpResponse("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                               Chunked(kLarge, 32769)),
                  kLarge}),
    RowName());

TEST_F(ClientTest, LargeBodyStopsAtItsLengthWithAnAnswerRightBehindIt) {
  // The surplus answer travels right behind the body, in the same bytes: the
  // body's last piece must be cut at the announced length.
  Serve({{Reply(Ok(kLarge) + Ok("surplus"))}});
  const std::string body = Fetch(kPage);
  ASSERT_EQ(body.size(), kLarge.size());
  EXPECT_TRUE(body == kLarge);
}

TEST_F(ClientTest, LargeErrorBodyIsReadToItsEndAndTheConnectionServesTheNextPage) {
  Serve({{Reply(HttpResponse("HTTP/1.1 404 Not Found",
                             "Content-Length: " + std::to_string(kLarge.size()) + "\r\n", kLarge)),
          Reply(Ok("next"))}});
  const std::optional<FetchError> failure = FailureOf(kPage);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->failure(), FetchFailure::ProtocolError);
  EXPECT_EQ(Fetch(kNextPage), "next");
  EXPECT_EQ(dials_.size(), 1u);
}

TEST_F(ClientTest, LargeBodyIsAppendedAfterWhatTheBufferHeld) {
  Serve({{Reply(Ok(kLarge))}});
  std::string body = "kept:";
  client_.Get(kPage, body);
  ASSERT_EQ(body.size(), 5 + kLarge.size());
  EXPECT_EQ(body.substr(0, 5), "kept:");
  EXPECT_TRUE(body.substr(5) == kLarge);
}

}  // namespace
}  // namespace velbrook::testing
