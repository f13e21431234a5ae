// The separator of the user's settings: the environment's LC_NUMERIC, read
// into a locale object of its own, so the process's locale stays as it is.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "os/DecimalSeparator.h"
#include "tests/support/CaseName.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "text/MarkerText.h"

namespace velbrook::testing {
namespace {

namespace fs = std::filesystem;

struct SeparatorCase {
  const char* name;
  const char* locale;    // LC_ALL of the environment
  const char* ownPoint;  // the charmap line of the decimal point of a locale of ours
  char16_t separator;
};

// Builds the locale that a row's LC_ALL names into folder, by the system's
// localedef (in every glibc): one of ours whose only character is its decimal
// point, whose bytes are what the reader gets to decode; else a name such as
// de_DE.UTF-8 from the system's own definition and charmap (package locales).
// True when the locale is there.
bool BuildLocale(const SeparatorCase& row, const fs::path& folder) {
  const std::string locale = row.locale;
  const std::string output = (folder / locale).string();
  std::vector<std::string> command = {InstalledProgram("localedef").string(), "--quiet", "--force"};
  if (row.ownPoint != nullptr) {
    const std::string point = row.ownPoint;
    std::ofstream(folder / "charmap") << "<code_set_name> OWN\n<comment_char> %\n<escape_char> /\n"
                                         "<mb_cur_max> 4\n<mb_cur_min> 1\nCHARMAP\n"
                                      << point << "\nEND CHARMAP\n";
    std::ofstream(folder / "definition")
        << "LC_NUMERIC\ndecimal_point \"" << point.substr(0, point.find(' '))
        << "\"\nthousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n";
    command.insert(command.end(), {"-i", (folder / "definition").string(), "-f",
                                   (folder / "charmap").string(), output});
  } else if (const size_t dot = locale.find('.'); dot != std::string::npos) {
    command.insert(command.end(),
                   {"-i", locale.substr(0, dot), "-f", locale.substr(dot + 1), output});
  } else {
    return true;  // C, or a locale that exists nowhere
  }
  // It warns of every category a locale of ours leaves out, and says so by its status.
  RunProgram(command);
  return fs::exists(folder / locale / "LC_NUMERIC");
}

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

class DecimalSeparatorTest : public ::testing::TestWithParam<SeparatorCase> {
 protected:
  void TearDown() override { SetDecimalSeparator(u'.'); }
  TempDir locales_;
};

TEST_P(DecimalSeparatorTest, IsTheEnvironmentsAndLeavesTheProcessLocale) {
  ASSERT_TRUE(BuildLocale(GetParam(), locales_.path()))
      << "localedef built no " << GetParam().locale;
  const ScopedVariable path("LOCPATH", locales_.path().string());
  const ScopedVariable all("LC_ALL", GetParam().locale);
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  SetDecimalSeparator(u'#');
  ReadDecimalSeparatorFromLocale();
  EXPECT_EQ(DecimalSeparator(), GetParam().separator);
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), before);
}

// A decimal point that is no whole character of the basic plane falls back to ".".
INSTANTIATE_TEST_SUITE_P(
    Locales, DecimalSeparatorTest,
    ::testing::Values(
        SeparatorCase{"German", "de_DE.UTF-8", nullptr, u','},
        SeparatorCase{"C", "C", nullptr, u'.'},
        SeparatorCase{"Unknown", "xx_NOWHERE", nullptr, u'.'},
        SeparatorCase{"NotUtf8", "own", "<U00E9> /xe9 LATIN-1 E ACUTE", u'.'},
        SeparatorCase{"LastBeforeSurrogates", "own", "<UD7FF> /xed/x9f/xbf UNASSIGNED", u'\uD7FF'},
        SeparatorCase{"FirstAfterSurrogates", "own", "<UE000> /xee/x80/x80 PRIVATE USE", u'\uE000'},
        SeparatorCase{"PastTheBasicPlane", "own", "<U00010000> /xf0/x90/x80/x80 LINEAR B", u'.'}),
    RowName());

}  // namespace
}  // namespace velbrook::testing
