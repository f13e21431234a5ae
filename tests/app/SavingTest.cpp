// The save item: the name the user chose with ".txt" always appended, the
// output in code page 936 without byte-order mark, the remembered name, and
// the messages of success and of each failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/DefaultError.h"
#include "app/MainUnit.h"
#include "app/Site.h"
#include "tests/app/FakeWindow.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

const Text kSaved = u"保存成功啦!";

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Text PathText(const std::filesystem::path& path) { return FromUtf8(path.string()); }

class SavingTest : public ::testing::Test {
 protected:
  void SetOutput(const Text& text) { shown_.output = text; }
  Text Output() { return shown_.output; }
  // Saves under name (in the test's folder unless absolute).
  void SaveAs(const std::filesystem::path& name) {
    dialog_.answers.push_back(PathText(name.is_absolute() ? name : dir_.path() / name));
    window_.XTs1Click();
  }
  void ExpectOneSuccessMessage() {
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, kSaved);
    EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes_.boxes[0].caption, kWindowCaption);
  }
  void ExpectOneErrorBox(const Text& text) {
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(ToUtf8(boxes_.boxes[0].text), ToUtf8(text));
    EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(boxes_.boxes[0].caption, ApplicationTitle());
  }

  TempDir dir_;
  FakeWindow shown_;
  TfrmMain& window_ = shown_.frmMain;
  // What the person at the window saw and answered.
  WindowAnswers& boxes_ = shown_;
  WindowAnswers& dialog_ = shown_;
};

TEST_F(SavingTest, FirstDialogHasTheOneFilterAndNoName) {
  window_.XTs1Click();
  ASSERT_EQ(dialog_.requests.size(), 1u);
  EXPECT_EQ(dialog_.requests[0].filter, u"文本文件*.txt|*.txt");
  EXPECT_EQ(dialog_.requests[0].initialName, u"");
}

TEST_F(SavingTest, CancelDoesNothing) {
  SetOutput(u"text");
  dialog_.answers.push_back(std::nullopt);
  window_.XTs1Click();
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(SavingTest, OutputIsWrittenInCodePage936WithCrLf) {
  SetOutput(u"老屋旧事\r\n第一段 text\r\n");
  SaveAs("abc");
  EXPECT_EQ(ReadBytes(dir_.path() / "abc.txt"), EncodeCp936(u"老屋旧事\r\n第一段 text\r\n"));
  ExpectOneSuccessMessage();
}

TEST_F(SavingTest, TextOfTheCodePageReadsBackUnchanged) {
  const Text text = u"作者:山间小楼 日期:2010-10-01\r\n「全角」,标点;Ａ１\r\n";
  SetOutput(text);
  SaveAs("round");
  EXPECT_EQ(ToUtf8(DecodeCp936(ReadBytes(dir_.path() / "round.txt"))), ToUtf8(text));
}

struct NameCase {
  const char* name;
  std::string typed;
  std::string written;
};

class SavedNameTest : public SavingTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SavedNameTest, DotTxtIsAlwaysAppended) {
  SetOutput(u"x");
  std::ofstream(dir_.path() / "abc.txt", std::ios::binary) << "untouched";
  SaveAs(GetParam().typed);
  EXPECT_EQ(ReadBytes(dir_.path() / GetParam().written), "x");
  if (GetParam().written != "abc.txt") {
    EXPECT_EQ(ReadBytes(dir_.path() / "abc.txt"), "untouched");
  }
  ExpectOneSuccessMessage();
}

INSTANTIATE_TEST_SUITE_P(Names, SavedNameTest,
                         ::testing::Values(NameCase{"Plain", "abc", "abc.txt"},
                                           NameCase{"AlreadyTxt", "abc.txt", "abc.txt.txt"},
                                           NameCase{"OtherExtension", "abc.doc", "abc.doc.txt"},
                                           NameCase{"TrailingDot", "abc.", "abc..txt"},
                                           NameCase{"Chinese", "老屋", "老屋.txt"}),
                         RowName());

TEST_F(SavingTest, ExistingFileIsReplacedWithoutAQuestion) {
  std::ofstream(dir_.path() / "abc.txt", std::ios::binary) << std::string(4096, 'o');
  SetOutput(u"new");
  SaveAs("abc");
  EXPECT_EQ(ReadBytes(dir_.path() / "abc.txt"), "new");
  ExpectOneSuccessMessage();
}

TEST_F(SavingTest, EmptyOutputWritesAnEmptyFile) {
  SetOutput(u"");
  SaveAs("empty");
  ASSERT_TRUE(std::filesystem::exists(dir_.path() / "empty.txt"));
  EXPECT_EQ(std::filesystem::file_size(dir_.path() / "empty.txt"), 0u);
  ExpectOneSuccessMessage();
}

TEST_F(SavingTest, CancelKeepsTheNameChosenBefore) {
  SaveAs("abc");
  dialog_.answers.push_back(std::nullopt);
  window_.XTs1Click();
  window_.XTs1Click();
  ASSERT_EQ(dialog_.requests.size(), 3u);
  EXPECT_EQ(dialog_.requests[2].initialName, PathText(dir_.path() / "abc"));
}

TEST_F(SavingTest, MissingFolderShowsTheSystemReasonAndCreatesNothing) {
  SetOutput(u"kept");
  SaveAs(dir_.path() / "missing" / "abc");
  const Text path = PathText(dir_.path() / "missing" / "abc.txt");
  ExpectOneErrorBox(u"Cannot create file \"" + path + u"\". No such file or directory.");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing"));
  EXPECT_EQ(Output(), u"kept");
  // The name is remembered as after a successful save.
  window_.XTs1Click();
  EXPECT_EQ(dialog_.requests.back().initialName, PathText(dir_.path() / "missing" / "abc"));
}

TEST_F(SavingTest, NameOfAFolderCannotBeCreated) {
  std::filesystem::create_directory(dir_.path() / "folder.txt");
  SaveAs("folder");
  ExpectOneErrorBox(u"Cannot create file \"" + PathText(dir_.path() / "folder.txt") +
                    u"\". Is a directory.");
}

// A full disk: the name with ".txt" leads to a device that takes no byte.
TEST_F(SavingTest, WriteErrorShowsStreamWriteError) {
  std::filesystem::create_symlink("/dev/full", dir_.path() / "full.txt");
  SetOutput(u"lost");
  SaveAs("full");
  ExpectOneErrorBox(u"Stream write error.");
  EXPECT_EQ(Output(), u"lost");
}

}  // namespace
}  // namespace velbrook::testing
