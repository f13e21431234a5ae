#include "fetch/HeaderFields.h"

#include <gtest/gtest.h>

#include "fetch/Challenge.h"
#include "tests/support/ExactView.h"

namespace velbrook {
namespace {

TEST(ReadStatusCode, NumberAfterTheFirstBlank) {
  struct Case {
    const char* line;
    int32_t code;
  } cases[] = {{"HTTP/1.1 200 OK", 200},
               {"HTTP/1.0 404", 404},
               {"ICY 200 OK", 200},
               {"HTTP/1.1  \t301 Moved", 301},
               {"HTTP/1.1 abc", -1},
               {"HTTP/1.1", -1},
               {"", -1},
               {"HTTP/1.1 20x OK", -1},
               {"HTTP/1.1 99999999999 X", -1},
               {"HTTP/1.1 2147483647 X", 2147483647},
               {"HTTP/1.1 2147483648 X", -1},
               {"HTTP/1.1 -5 X", -5}};
  for (const Case& c : cases)
    EXPECT_EQ(ReadStatusCode(testing::ExactView(c.line)), c.code) << c.line;
}

TEST(FieldLookup, FirstLineCountsAndContinuationsJoin) {
  const std::vector<std::string> lines = {"Connection:  keep-alive",
                                          "connection: close",
                                          "Location: /a",
                                          "   /b  ",
                                          "\t/c",
                                          " \t ",
                                          " Fake: x",
                                          "Set-Cookie: a=1",
                                          "set-cookie:b=2",
                                          "Content-Length : 5",
                                          "Server"};
  EXPECT_EQ(FieldValue(lines, "CONNECTION"), "keep-alive");
  EXPECT_EQ(FieldValue(lines, "location"), "/a /b /c Fake: x");
  EXPECT_EQ(FieldValue(lines, "Fake"), "");
  EXPECT_EQ(FieldValue(lines, "Content-Length"), "");  // the name is taken exactly
  EXPECT_EQ(FieldValue(lines, "Server"), "");
  EXPECT_EQ(FieldValues(lines, "Set-cookie"), (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(ResponseFields, ContentLengthReadsAsDecimalOrMinusOne) {
  // The largest number is a length; one past it is no number.
  struct Case {
    const char* value;
    int64_t length;
  } cases[] = {{"10", 10},
               {" 0 ", 0},
               {"-3", -1},
               {"1e3", -1},
               {"", -1},
               {"99999999999999999999", -1},
               {"+7", 7},
               {"+-7", -1},
               {"9223372036854775807", INT64_MAX},
               {"9223372036854775808", -1}};
  for (const Case& c : cases) {
    Response response;
    response.headerLines = {std::string("Content-Length: ") + c.value};
    FillResponseFields(response);
    EXPECT_EQ(response.contentLength, c.length) << c.value;
    EXPECT_EQ(response.ContentLengthGiven(), c.length >= 0) << c.value;
  }
}

TEST(ReadChunkSize, HexBeforeTheFirstBlankElseZero) {
  struct Case {
    const char* line;
    int64_t size;
  } cases[] = {{"1a", 26}, {"1A", 26}, {"10 ext", 16}, {"1a;ext", 0}, {"", 0},
               {"zz", 0},  {" 5", 0},  {"0", 0},       {"-1", 0},     {"ffffffffffffffffff", 0}};
  for (const Case& c : cases)
    EXPECT_EQ(ReadChunkSize(testing::ExactView(c.line)), c.size) << c.line;
}

TEST(AsksToClose, WholeTrimmedValueInAnyCase) {
  struct Case {
    const char* connection;
    const char* proxy;
    bool closes;
  } cases[] = {{"close", "", true},       {"  CLOSE ", "", true},    {"Close", "", true},
               {"close, foo", "", false}, {"keep-alive", "", false}, {"", "cLoSe", true},
               {"", "", false},           {"closed", "", false}};
  for (const Case& c : cases) {
    Response response;
    response.connection = c.connection;
    response.proxyConnection = c.proxy;
    EXPECT_EQ(AsksToClose(response), c.closes) << c.connection << "|" << c.proxy;
  }
}

TEST(SupportedChallengeScheme, FirstKnownSchemeWins) {
  EXPECT_EQ(SupportedChallengeScheme({"Negotiate x", "basic realm=\"r\"", "Digest a"}), "basic");
  EXPECT_EQ(SupportedChallengeScheme({"NTLM"}), "NTLM");
  EXPECT_EQ(SupportedChallengeScheme({"Bearer x", "Basicx"}), "");
  EXPECT_EQ(SupportedChallengeScheme({}), "");
}

}  // namespace
}  // namespace velbrook
