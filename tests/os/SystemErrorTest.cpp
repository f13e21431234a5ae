// The system's words for an error, read back from the encoding of the locale
// they were written in: errno values, the lookup's codes, and texts of any
// other category; bytes that do not decode are replaced, not lost.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <clocale>
#include <string>

#include "os/Connect.h"
#include "os/SystemError.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

// A category whose message is the code's own bytes, as a system in some
// locale might write them.
class BytesCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "bytes"; }
  std::string message(int code) const override {
    switch (code) {
      case 1:
        return "caf\xC3\xA9";  // "café" in UTF-8
      case 2:
        return "\xF0\x9F\x98\x80 or \xFF";  // outside the BMP, and no UTF-8 at all
      default:
        return "";
    }
  }
};

const BytesCategory kBytes;

struct ErrorTextCase {
  const char* name;
  std::error_code error;
  const char* ctype;  // the thread's LC_CTYPE while the text is made
  Text text;
};

class SystemErrorTextTest : public ::testing::TestWithParam<ErrorTextCase> {
 protected:
  void SetUp() override { saved_ = std::setlocale(LC_CTYPE, nullptr); }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

TEST_P(SystemErrorTextTest, IsDecodedFromTheLocalesEncoding) {
  ASSERT_NE(std::setlocale(LC_CTYPE, GetParam().ctype), nullptr);
  EXPECT_EQ(ToUtf8(SystemErrorText(GetParam().error)), ToUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SystemErrorTextTest,
    ::testing::Values(ErrorTextCase{"Errno", std::error_code(ENOENT, std::system_category()), "C",
                                    u"No such file or directory"},
                      ErrorTextCase{"GenericErrno",
                                    std::make_error_code(std::errc::no_space_on_device), "C",
                                    u"No space left on device"},
                      ErrorTextCase{"Lookup", std::error_code(EAI_NONAME, LookupCategory()), "C",
                                    u"Name or service not known"},
                      ErrorTextCase{"Utf8Locale", std::error_code(1, kBytes), "C.UTF-8", u"café"},
                      ErrorTextCase{"Utf8BeyondTheBmpAndAStrayByte", std::error_code(2, kBytes),
                                    "C.UTF-8", u"😀 or \uFFFD"},
                      ErrorTextCase{"CLocaleReplacesEveryHighByte", std::error_code(1, kBytes), "C",
                                    u"caf\uFFFD\uFFFD"}),
    RowName());

}  // namespace
}  // namespace velbrook::testing
