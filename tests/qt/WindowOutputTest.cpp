// The output box's operations (clear, append, read), ShowStatus, the popup
// menu of the two text boxes and the home-page items, on a real window.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>

#include "app/MainUnit.h"
#include "os/DecimalSeparator.h"
#include "tests/support/WindowProbe.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

class WindowOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = Find<QPlainTextEdit>(shown_, "mmoText");
    instructions_ = Find<QPlainTextEdit>(shown_, "mmo1");
    menu_ = Find<QMenu>(shown_, "pm");
  }
  void ShowActive() {
    shown_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown_));
    QApplication::setActiveWindow(&shown_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown_));
  }
  std::string Output() { return ToUtf8(window_.ReadOutput()); }
  void CloseMenu() {
    menu_->hide();
    ASSERT_TRUE(WaitUntil([&] { return !menu_->isVisible(); }));
  }

  TestWindow shown_;
  TfrmMain& window_ = shown_.frmMain();
  QPlainTextEdit* output_ = nullptr;
  QPlainTextEdit* instructions_ = nullptr;
  QMenu* menu_ = nullptr;
};

TEST_F(WindowOutputTest, EachAppendedBlockIsFollowedByALineBreak) {
  window_.AppendOutput(u"first");
  window_.AppendOutput(u"two\r\nlines");
  window_.AppendOutput(u"  kept untrimmed  \r\n\r\n");
  EXPECT_EQ(Output(), "first\r\ntwo\r\nlines\r\n  kept untrimmed  \r\n\r\n\r\n");
  window_.ClearOutput();
  EXPECT_EQ(Output(), "");
  window_.AppendOutput(u"after clear");
  EXPECT_EQ(Output(), "after clear\r\n");
}

TEST_F(WindowOutputTest, AfterTheUserRemovedTheFinalBreakTheBreakComesFirst) {
  ShowActive();
  window_.AppendOutput(u"one");
  // The user deletes the final line break with Backspace at the end.
  output_->setFocus();
  output_->moveCursor(QTextCursor::End);
  QTest::keyClick(output_, Qt::Key_Backspace);
  ASSERT_EQ(Output(), "one");
  window_.AppendOutput(u"two");
  EXPECT_EQ(Output(), "one\r\ntwo");
  window_.AppendOutput(u"three");
  EXPECT_EQ(Output(), "one\r\ntwo\r\nthree");
}

TEST_F(WindowOutputTest, AppendGoesToTheEndWhereverTheCursorWas) {
  ShowActive();
  window_.AppendOutput(u"alpha");
  window_.AppendOutput(u"beta");
  // The user selects a word at the start; the append must not replace it.
  QTextCursor selection(output_->document());
  selection.movePosition(QTextCursor::Start);
  selection.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
  output_->setTextCursor(selection);
  ASSERT_TRUE(output_->textCursor().hasSelection());
  window_.AppendOutput(u"gamma");
  EXPECT_EQ(Output(), "alpha\r\nbeta\r\ngamma\r\n");
  EXPECT_FALSE(output_->textCursor().hasSelection());
  EXPECT_TRUE(output_->textCursor().atEnd());
}

TEST_F(WindowOutputTest, ReadingReturnsTheUsersEditsAndOnlyRealLineBreaks) {
  ShowActive();
  shown_.resize(300, 300);
  const QString longLine = QString(40, u'x') + QStringLiteral(" word") + QString(200, u'y');
  output_->setFocus();
  QTest::keyClicks(output_, longLine);
  QTest::keyClick(output_, Qt::Key_Return);
  QTest::keyClicks(output_, QStringLiteral("typed"));
  // Word wrap folds the long line on screen; reading has no break there.
  ASSERT_GT(output_->document()->lastBlock().previous().layout()->lineCount(), 1);
  EXPECT_EQ(Output(), longLine.toStdString() + "\r\ntyped");
}

TEST_F(WindowOutputTest, ReadingKeepsEveryCharacterAsShown) {
  const Text unusual = u"a\u00a0b\tc\u4e2d\u2603";  // no-break space, tab, CJK, snowman
  window_.AppendOutput(unusual);
  EXPECT_EQ(window_.ReadOutput(), unusual + u"\r\n");
}

TEST_F(WindowOutputTest, LoneCarriageReturnsAndLineFeedsBecomeLineBreaks) {
  window_.AppendOutput(u"a\rb\nc");
  EXPECT_EQ(Output(), "a\r\nb\r\nc\r\n");
}

TEST_F(WindowOutputTest, RightClickInEitherTextBoxOpensThePopupMenuThere) {
  ShowActive();
  for (QPlainTextEdit* memo : {output_, instructions_}) {
    shown_.findChild<QWidget*>(QStringLiteral("btnStart"))->setFocus();
    const QPoint inside(20, 15);
    QContextMenuEvent click(QContextMenuEvent::Mouse, inside,
                            memo->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(memo->viewport(), &click);
    ASSERT_TRUE(WaitUntil([&] { return menu_->isVisible(); })) << memo->objectName().toStdString();
    EXPECT_EQ(menu_->pos(), memo->viewport()->mapToGlobal(inside));
    EXPECT_EQ(QApplication::focusWidget(), memo);  // the box took the focus first
    CloseMenu();
  }
}

TEST_F(WindowOutputTest, FromTheKeyboardThePopupOpensAtTheTextAreasCorner) {
  ShowActive();
  // The context-menu key.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5),
                        output_->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(output_->viewport(), &key);
  ASSERT_TRUE(WaitUntil([&] { return menu_->isVisible(); }));
  EXPECT_EQ(menu_->pos(), output_->viewport()->mapToGlobal(QPoint(0, 0)));
  CloseMenu();
  // Shift+F10.
  instructions_->setFocus();
  QTest::keyClick(instructions_, Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_TRUE(WaitUntil([&] { return menu_->isVisible(); }));
  EXPECT_EQ(menu_->pos(), instructions_->viewport()->mapToGlobal(QPoint(0, 0)));
  CloseMenu();
}

TEST_F(WindowOutputTest, TheAddressBoxAndTheScrollBarKeepTheirOwnMenus) {
  ShowActive();
  auto* address = Find<QLineEdit>(shown_, "edtWebSite");
  EXPECT_EQ(address->contextMenuPolicy(), Qt::DefaultContextMenu);
  QScrollBar* bar = output_->verticalScrollBar();
  EXPECT_NE(bar->contextMenuPolicy(), Qt::CustomContextMenu);
  // Right-clicking the address box brings up its standard menu, not ours.
  QPointer<QWidget> seen;
  const auto closeShown = [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      seen = popup;
      popup->close();
    }
  };
  QTimer::singleShot(0, closeShown);  // in case the menu runs its own loop
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                          address->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(address, &click);
  closeShown();
  ASSERT_TRUE(
      WaitUntil([&] { return !seen.isNull() || QApplication::activePopupWidget() != nullptr; }));
  closeShown();
  EXPECT_NE(seen.data(), menu_);
  EXPECT_FALSE(menu_->isVisible());
}

TEST_F(WindowOutputTest, BothHomePageItemsOpenTheHomePageSilently) {
  Find<QAction>(shown_, "N1")->trigger();
  Find<QAction>(shown_, "N2")->trigger();
  shown_.browserFails = true;  // the browser refuses: still nothing shown
  Find<QAction>(shown_, "N1")->trigger();
  EXPECT_EQ(shown_.opened, (std::vector<Text>(3, u"http://www.pellam.example")));
  EXPECT_TRUE(shown_.boxes.empty());
}

TEST_F(WindowOutputTest, ARegionalSettingsChangeReReadsTheDecimalSeparator) {
  ReadDecimalSeparatorFromLocale();
  const char16_t fromTheEnvironment = DecimalSeparator();
  SetDecimalSeparator(u'#');
  QEvent change(QEvent::LocaleChange);
  QApplication::sendEvent(&shown_, &change);
  EXPECT_EQ(DecimalSeparator(), fromTheEnvironment);
  SetDecimalSeparator(u'.');
}

}  // namespace
}  // namespace velbrook::testing
