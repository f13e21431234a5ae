// The window's page fetch: the request values it sets on the wire, byte for
// byte, and the body decoded from code page 936 whatever the response says.
#include <gtest/gtest.h>

#include "app/MainUnit.h"
#include "fetch/HttpClient.h"
#include "os/Connect.h"
#include "tests/app/FakeWindow.h"
#include "tests/support/CaseName.h"
#include "tests/support/ScriptedServer.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

std::string OkWith(const std::string& headers, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
         "\r\n" + body;
}

class GetWebSiteTxtTest : public ::testing::Test {
 protected:
  void Serve(std::vector<Script> scripts) {
    server_ = std::make_unique<ScriptedServer>(std::move(scripts));
    window_.idhtp().SetConnector(
        [this](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", server_->port()); });
  }

  FakeWindow shown_;
  TfrmMain& window_ = shown_.frmMain;
  std::unique_ptr<ScriptedServer> server_;
};

TEST_F(GetWebSiteTxtTest, SendsTheFixedRequestValues) {
  Serve({{Reply(OkWith("", "ok"))}});
  window_.idhtp().SetReadTimeout(5);
  EXPECT_EQ(ToUtf8(window_.GetWebSiteTxt(u"http://www.forum.example/publicforum/1.shtml")), "ok");
  EXPECT_EQ(window_.idhtp().ReadTimeout(), 30000);
  EXPECT_EQ(server_->Request(0),
            "GET /publicforum/1.shtml HTTP/1.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Host: www.forum.example\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
            "application/x-shockwave-flash, */*\r\n"
            "Accept-Encoding: identity\r\n"
            "Accept-Language: zh-cn\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; "
            ".NET CLR 1.1.4322)\r\n"
            "\r\n");
}

struct DecodeCase {
  const char* name;
  std::string headers;
  std::string body;
  Text page;
};

class DecodeTest : public GetWebSiteTxtTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, BodyIsCodePage936Text) {
  Serve({{Reply(OkWith(GetParam().headers, GetParam().body))}});
  const Text page = window_.GetWebSiteTxt(u"http://www.forum.example/a.shtml");
  EXPECT_EQ(ToUtf8(page), ToUtf8(GetParam().page));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DecodeTest,
    ::testing::Values(DecodeCase{"Plain", "", EncodeCp936(u"作者:山间小楼 日期:2010-10-01"),
                                 u"作者:山间小楼 日期:2010-10-01"},
                      DecodeCase{"Utf8CharsetIgnored", "Content-Type: text/html; charset=utf-8\r\n",
                                 "\xC9\xBD\xBC\xE4", u"山间"},
                      // EF BB is one code page 936 character; the mark is not taken away.
                      DecodeCase{"ByteOrderMarkKept", "", "\xEF\xBB" + EncodeCp936(u"老屋"),
                                 u"\u9518老屋"},
                      DecodeCase{"Empty", "", "", u""}),
    RowName());

TEST_F(GetWebSiteTxtTest, GzipBodyIsDecodedAsItArrived) {
  const std::string compressed("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9", 14);
  Serve({{Reply(OkWith("Content-Encoding: gzip\r\n", compressed))}});
  const Text page = window_.GetWebSiteTxt(u"http://www.forum.example/a.shtml");
  EXPECT_EQ(page, DecodeCp936(compressed));
  EXPECT_EQ(page.substr(0, 1), u"\x1f");
}

TEST_F(GetWebSiteTxtTest, FailureLeavesAsAnError) {
  Serve({{Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")}});
  try {
    window_.GetWebSiteTxt(u"http://www.forum.example/missing.shtml");
    FAIL() << "a 404 gave a page";
  } catch (const FetchError& error) {
    EXPECT_EQ(error.failure(), FetchFailure::ProtocolError);
    EXPECT_EQ(error.code(), 404);
  }
}

}  // namespace
}  // namespace velbrook::testing
