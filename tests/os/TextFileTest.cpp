// The saved file's layer: create-or-replace, every byte written, and the
// system's reason when the folder, the name or the disk refuses.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "os/TextFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Text PathText(const std::filesystem::path& path) { return FromUtf8(path.string()); }

TEST(TextFileTest, NewFileHoldsExactlyTheBytes) {
  TempDir dir;
  const auto path = dir.path() / "a.txt";
  const std::string bytes("line\r\n\0\xC9\xBD\r\n", 10);
  TextFile file = TextFile::CreateOrReplace(PathText(path));
  file.WriteAll(bytes);
  file.Close();
  EXPECT_EQ(ReadBytes(path), bytes);
}

// The file system's names are UTF-8 bytes.
TEST(TextFileTest, ChineseNameBecomesItsUtf8Bytes) {
  TempDir dir;
  TextFile file = TextFile::CreateOrReplace(PathText(dir.path()) + u"/老屋旧事.txt");
  file.WriteAll("x");
  file.Close();
  EXPECT_EQ(ReadBytes(dir.path() / "\xE8\x80\x81\xE5\xB1\x8B\xE6\x97\xA7\xE4\xBA\x8B.txt"), "x");
}

TEST(TextFileTest, ExistingFileIsCutToTheNewContent) {
  TempDir dir;
  const auto path = dir.path() / "a.txt";
  WriteBytes(path, std::string(5000, 'x'));
  TextFile file = TextFile::CreateOrReplace(PathText(path));
  file.WriteAll("short");
  file.Close();
  EXPECT_EQ(ReadBytes(path), "short");
}

TEST(TextFileTest, NothingWrittenLeavesAnEmptyFile) {
  TempDir dir;
  const auto path = dir.path() / "empty.txt";
  WriteBytes(path, "old");
  TextFile file = TextFile::CreateOrReplace(PathText(path));
  file.WriteAll("");
  file.Close();
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(TextFileTest, DestructorClosesAndKeepsWhatWasWritten) {
  TempDir dir;
  const auto path = dir.path() / "a.txt";
  {
    TextFile file = TextFile::CreateOrReplace(PathText(path));
    file.WriteAll("kept");
  }
  EXPECT_EQ(ReadBytes(path), "kept");
}

struct CreateFailureCase {
  const char* name;
  std::string relative;  // under the test's folder
  Text reason;
};

class CreateFailureTest : public ::testing::TestWithParam<CreateFailureCase> {};

TEST_P(CreateFailureTest, CarriesPathAndSystemReason) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  WriteBytes(dir.path() / "plain", "a file");
  const Text path = PathText(dir.path() / GetParam().relative);
  try {
    TextFile::CreateOrReplace(path);
    FAIL() << "created " << ToUtf8(path);
  } catch (const FileCreateError& error) {
    EXPECT_EQ(error.path(), path);
    EXPECT_EQ(ToUtf8(error.reason()), ToUtf8(GetParam().reason));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, CreateFailureTest,
    ::testing::Values(
        CreateFailureCase{"MissingFolder", "missing/a.txt", u"No such file or directory"},
        CreateFailureCase{"NameOfAFolder", "folder", u"Is a directory"},
        CreateFailureCase{"FileAsFolder", "plain/b.txt", u"Not a directory"},
        CreateFailureCase{"NameTooLong", std::string(300, 'n') + ".txt", u"File name too long"}),
    RowName());

// A pipe that nobody reads would hold a blocking open for ever.
TEST(TextFileTest, NamedPipeWithoutReaderFailsAtOnce) {
  TempDir dir;
  const auto path = dir.path() / "pipe.txt";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_THROW(TextFile::CreateOrReplace(PathText(path)), FileCreateError);
}

TEST(TextFileTest, FullDeviceFailsTheWrite) {
  TextFile file = TextFile::CreateOrReplace(u"/dev/full");
  try {
    file.WriteAll("bytes");
    FAIL() << "a full device took the bytes";
  } catch (const FileWriteError& error) {
    EXPECT_EQ(error.reason(), u"No space left on device");
  }
}

// A file size limit lets the system take the first bytes and refuse the
// rest: the part that was written stays in the file.
TEST(TextFileTest, RefusedRestLeavesThePartialFile) {
  TempDir dir;
  const auto path = dir.path() / "partial.txt";
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool failed = false;
  {
    TextFile file = TextFile::CreateOrReplace(PathText(path));
    try {
      file.WriteAll("0123456789");
    } catch (const FileWriteError& error) {
      failed = true;
      EXPECT_EQ(error.reason(), u"File too large");
    }
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(failed);
  EXPECT_EQ(ReadBytes(path), "0123");
}

}  // namespace
}  // namespace velbrook::testing
