// The separator of the user's settings: the environment's LC_NUMERIC, read
// into a locale object of its own, so the process's locale stays as it is.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "os/DecimalSeparator.h"
#include "tests/support/CaseName.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "text/MarkerText.h"

namespace velbrook::testing {
namespace {

// The name under which CommaLocale's folder knows its locale.
constexpr char kCommaLocale[] = "comma";

// A locale whose decimal point is a comma, built by the system's localedef
// (in every glibc) from a map of two characters, so that none needs
// installing. Its folder goes in LOCPATH.
class CommaLocale {
 public:
  CommaLocale() {
    std::ofstream(dir_.path() / "charmap") << "<code_set_name> TWO\n<comment_char> %\n"
                                              "<escape_char> /\nCHARMAP\n"
                                              "<U002C> /x2c COMMA\n<U002E> /x2e FULL STOP\n"
                                              "END CHARMAP\n";
    std::ofstream(dir_.path() / "definition")
        << "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
           "thousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n";
    // It warns of every category left out, and says so by its status.
    RunProgram({InstalledProgram("localedef").string(), "--quiet", "--force", "-i",
                (dir_.path() / "definition").string(), "-f", (dir_.path() / "charmap").string(),
                (dir_.path() / kCommaLocale).string()});
  }
  bool Built() const { return std::filesystem::exists(dir_.path() / kCommaLocale / "LC_NUMERIC"); }
  std::string Folder() const { return dir_.path().string(); }

 private:
  TempDir dir_;
};

// Sets an environment variable for as long as it lives.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) saved_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

struct SeparatorCase {
  const char* name;
  const char* locale;  // LC_ALL of the environment
  char16_t separator;
};

class DecimalSeparatorTest : public ::testing::TestWithParam<SeparatorCase> {
 protected:
  void TearDown() override { SetDecimalSeparator(u'.'); }
  CommaLocale comma_;
};

TEST_P(DecimalSeparatorTest, IsTheEnvironmentsAndLeavesTheProcessLocale) {
  ASSERT_TRUE(comma_.Built());
  const ScopedVariable path("LOCPATH", comma_.Folder());
  const ScopedVariable all("LC_ALL", GetParam().locale);
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  SetDecimalSeparator(u'#');
  ReadDecimalSeparatorFromLocale();
  EXPECT_EQ(DecimalSeparator(), GetParam().separator);
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), before);
}

INSTANTIATE_TEST_SUITE_P(Locales, DecimalSeparatorTest,
                         ::testing::Values(SeparatorCase{"Comma", kCommaLocale, u','},
                                           SeparatorCase{"C", "C", u'.'},
                                           SeparatorCase{"Unknown", "xx_NOWHERE", u'.'}),
                         RowName());

}  // namespace
}  // namespace velbrook::testing
