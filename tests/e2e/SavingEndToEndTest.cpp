// Saving as the user does it: a right click in the output box, the popup
// menu's save item by its access key, the dialog answered by the test, and
// the file read back from a folder of the test's own; also while a job runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/DefaultError.h"
#include "forum/SampleThreads.h"
#include "tests/e2e/E2eFixture.h"
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

class SavingEndToEnd : public DemoForumTest {
 protected:
  SavingEndToEnd() { window_->show(); }
  QPlainTextEdit* OutputBox() const { return Find<QPlainTextEdit>(*window_, "mmoText"); }

  bool RunSampleJob() {
    ClickStart(*window_);
    return WaitUntil([this] { return Busy() == 0; });
  }

  // Right click in the output box, then "S" in the popup menu; the dialog
  // answers with name (in the test's folder unless absolute).
  void SaveThroughTheMenu(const std::filesystem::path& name) {
    dialog_.answers.push_back(PathText(name.is_absolute() ? name : dir_.path() / name));
    QMenu* menu = Find<QMenu>(*window_, "pm");
    // A right click, and the context-menu request that the window system
    // makes of it.
    QWidget* area = OutputBox()->viewport();
    const QPoint at(20, 20);
    QTest::mouseClick(area, Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, area->mapToGlobal(at));
    QApplication::sendEvent(area, &request);
    ASSERT_TRUE(WaitUntil([menu] { return menu->isVisible(); }));
    const std::size_t shownBefore = dialog_.requests.size();
    QTest::keyClick(menu, Qt::Key_S);
    ASSERT_TRUE(WaitUntil([&] { return dialog_.requests.size() > shownBefore; }));
  }

  void ExpectLastBox(const Text& text, MessageIcon icon, const Text& caption) {
    ASSERT_FALSE(boxesSeen_.empty());
    EXPECT_EQ(ToUtf8(boxesSeen_.back().text), ToUtf8(text));
    EXPECT_EQ(boxesSeen_.back().icon, icon);
    EXPECT_EQ(boxesSeen_.back().caption, caption);
  }

  TempDir dir_;
  WindowAnswers& dialog_ = *window_;
};

TEST_F(SavingEndToEnd, JobOutputSavedInCodePage936) {
  ASSERT_TRUE(RunSampleJob());
  SaveThroughTheMenu("thread");
  EXPECT_EQ(ReadBytes(dir_.path() / "thread.txt"), EncodeCp936(Expected("serial_thread.txt")));
  ExpectLastBox(kSaved, MessageIcon::Information, kWindowCaption);
}

TEST_F(SavingEndToEnd, SavingWhileAJobRunsWritesWhatHasCome) {
  forum_.FailPage(ThreadPagePath(NumberedPageName(kSerialThreadName, 3)), PageFailure::Stall);
  ClickStart(*window_);
  const Text soFar = Expected("serial_pages_1_2.txt");
  ASSERT_TRUE(WaitUntil([&] { return Output() == soFar; }));
  SaveThroughTheMenu("running");
  EXPECT_EQ(ReadBytes(dir_.path() / "running.txt"), EncodeCp936(soFar));
  ExpectLastBox(kSaved, MessageIcon::Information, kWindowCaption);
  // The job goes on, waiting for page 3.
  EXPECT_EQ(Busy(), 1);
  EXPECT_EQ(Output(), soFar);
}

TEST_F(SavingEndToEnd, SecondSaveOffersTheFirstNameAndReplacesTheFile) {
  OutputBox()->setPlainText(QStringLiteral("first"));
  SaveThroughTheMenu("notes");
  OutputBox()->setPlainText(QStringLiteral("second"));
  SaveThroughTheMenu("notes");
  ASSERT_EQ(dialog_.requests.size(), 2u);
  EXPECT_EQ(dialog_.requests[0].initialName, u"");
  EXPECT_EQ(dialog_.requests[1].initialName, PathText(dir_.path() / "notes"));
  EXPECT_EQ(ReadBytes(dir_.path() / "notes.txt"), "second");
  EXPECT_EQ(boxesSeen_.size(), 2u);
}

TEST_F(SavingEndToEnd, NameEndingInTxtGetsASecondTxt) {
  std::ofstream(dir_.path() / "abc.txt", std::ios::binary) << "picked, not touched";
  OutputBox()->setPlainText(QStringLiteral("body"));
  SaveThroughTheMenu("abc.txt");
  EXPECT_EQ(ReadBytes(dir_.path() / "abc.txt.txt"), "body");
  EXPECT_EQ(ReadBytes(dir_.path() / "abc.txt"), "picked, not touched");
}

TEST_F(SavingEndToEnd, FolderThatDoesNotExist) {
  OutputBox()->setPlainText(QStringLiteral("kept"));
  const auto name = dir_.path() / "no such folder" / "abc";
  SaveThroughTheMenu(name);
  ExpectLastBox(u"Cannot create file \"" + PathText(name) + u".txt\". No such file or directory.",
                MessageIcon::Error, ApplicationTitle());
  EXPECT_EQ(boxesSeen_.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "no such folder"));
  EXPECT_EQ(Output(), u"kept");
}

TEST_F(SavingEndToEnd, TypedCharacterOutsideTheCodePageIsSavedAsQuestionMark) {
  OutputBox()->setFocus();
  // Typed through the input method, as text in other scripts arrives.
  QInputMethodEvent typed;
  typed.setCommitString(QString::fromUtf16(u"老屋\u0E01\u0627!"));
  QApplication::sendEvent(OutputBox(), &typed);
  ASSERT_EQ(Output(), u"老屋\u0E01\u0627!");
  SaveThroughTheMenu("typed");
  EXPECT_EQ(ReadBytes(dir_.path() / "typed.txt"), EncodeCp936(u"老屋") + "?" + "?!");
  ExpectLastBox(kSaved, MessageIcon::Information, kWindowCaption);
}

}  // namespace
}  // namespace velbrook::testing
