// The main window as the user first sees it: caption, texts, the layout at the
// initial size and after resizing, the instructions, the status bar, the tab
// order and the focus at start-up, and the popup menu's items.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "tests/support/WindowProbe.h"

namespace velbrook::testing {
namespace {

QRect InClient(QWidget& window, const char* name) {
  QWidget* control = Find<QWidget>(window, name);
  return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
}

QStringList Lines(const QPlainTextEdit& memo) { return memo.toPlainText().split(u'\n'); }

class WindowLayoutTest : public ::testing::Test {
 protected:
  void ShowActive() {
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  TestWindow window_;
};

TEST_F(WindowLayoutTest, CaptionNameAndIcon) {
  EXPECT_EQ(window_.windowTitle(), ToQString(u"Velbrook1.0b"));
  EXPECT_EQ(window_.objectName(), QStringLiteral("frmMain"));
  EXPECT_FALSE(window_.windowIcon().isNull());
  EXPECT_TRUE(window_.isWindow());
}

TEST_F(WindowLayoutTest, ControlsCarryTheirTexts) {
  EXPECT_EQ(Find<QLabel>(window_, "Label1")->text(), ToQString(u"请输入你要脱水的贴子网址:"));
  EXPECT_EQ(Find<QLineEdit>(window_, "edtWebSite")->text(),
            QStringLiteral("http://www.forum.example/publicforum/content/funinfo/1/2273274.shtml"));
  EXPECT_EQ(Find<QPushButton>(window_, "btnStart")->text(), ToQString(u"开 始"));
  EXPECT_EQ(window_.frmMain().btnStart.Tag, 0);
  EXPECT_TRUE(Find<QPlainTextEdit>(window_, "mmoText")->toPlainText().isEmpty());
  EXPECT_EQ(window_.frmMain().ReadOutput(), Text());
}

TEST_F(WindowLayoutTest, InitialLayoutAt96Dpi) {
  ShowActive();
  EXPECT_EQ(window_.centralWidget()->size(), QSize(689, 412));
  const struct {
    const char* name;
    QRect place;
  } cases[] = {
      {"Panel1", QRect(0, 0, 689, 43)},
      {"mmoText", QRect(0, 43, 456, 350)},
      {"pnl1", QRect(456, 43, 233, 350)},
      {"stat1", QRect(0, 393, 689, 19)},
  };
  for (const auto& c : cases) EXPECT_EQ(InClient(window_, c.name), c.place) << c.name;
  // Inside their panels.
  EXPECT_EQ(Find<QWidget>(window_, "Label1")->geometry(), QRect(8, 11, 159, 15));
  EXPECT_EQ(Find<QWidget>(window_, "edtWebSite")->geometry(), QRect(176, 8, 379, 21));
  EXPECT_EQ(Find<QWidget>(window_, "btnStart")->geometry(), QRect(561, 7, 63, 23));
  EXPECT_EQ(Find<QWidget>(window_, "mmo1")->geometry(), QRect(1, 1, 231, 348));
}

TEST_F(WindowLayoutTest, CentredOnTheScreenAtStartUp) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QPoint centre = window_.geometry().center();
  EXPECT_LE(std::abs(centre.x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(centre.y() - screen.center().y()), 1);
}

TEST_F(WindowLayoutTest, ResizingGivesTheOutputBoxTheRest) {
  ShowActive();
  window_.resize(900, 600);
  ASSERT_TRUE(WaitUntil([&] { return window_.centralWidget()->size() == QSize(900, 600); }));
  EXPECT_EQ(InClient(window_, "Panel1"), QRect(0, 0, 900, 43));
  EXPECT_EQ(InClient(window_, "mmoText"), QRect(0, 43, 667, 538));
  EXPECT_EQ(InClient(window_, "pnl1"), QRect(667, 43, 233, 538));
  EXPECT_EQ(InClient(window_, "stat1"), QRect(0, 581, 900, 19));
  EXPECT_EQ(Find<QWidget>(window_, "btnStart")->geometry(), QRect(561, 7, 63, 23));
  EXPECT_EQ(Find<QWidget>(window_, "edtWebSite")->geometry(), QRect(176, 8, 379, 21));
  EXPECT_EQ(Find<QWidget>(window_, "mmo1")->geometry(), QRect(1, 1, 231, 536));
  // The last status panel reaches the end of the bar.
  EXPECT_EQ(Find<QLabel>(window_, "stat1Panel3")->geometry().right(), 899);
}

TEST_F(WindowLayoutTest, NoMinimumSizeTheOutputBoxShrinksToNothing) {
  ShowActive();
  EXPECT_EQ(window_.minimumSize(), QSize(0, 0));
  window_.resize(150, 70);
  ASSERT_TRUE(WaitUntil([&] { return window_.centralWidget()->size() == QSize(150, 70); }));
  EXPECT_EQ(Find<QWidget>(window_, "mmoText")->width(), 0);
  EXPECT_EQ(InClient(window_, "pnl1").right(), 149);  // still on the right edge, cut off
  EXPECT_EQ(InClient(window_, "stat1"), QRect(0, 51, 150, 19));
  EXPECT_EQ(Find<QWidget>(window_, "btnStart")->geometry(), QRect(561, 7, 63, 23));
}

TEST_F(WindowLayoutTest, InstructionsLineByLine) {
  const QStringList expected = {
      QStringLiteral("======  Velbrook======"),
      ToQString(u"使用方法:"),
      ToQString(u"    把你要脱水的贴子拷贝到上面的网"),
      ToQString(u"址栏,然后点开始就可以啦.贴子任何一"),
      ToQString(u"页的网址都可以."),
      ToQString(u"    使用中遇到问题或BUG请移步到偶"),
      ToQString(u"的空间告诉偶,网址"),
      ToQString(u"是:http://www.pellam.example/"),
      ToQString(u"     功能菜单:请大家单击鼠标右键"),
      QString(25, u'='),
      ToQString(u"希望:"),
      ToQString(u"  1.使用软件的朋友到偶空间告诉偶;"),
      ToQString(u"  2.在腾讯公益或是其它社区为孤儿捐"),
      ToQString(u"助一元钱,谢谢!"),
      QString(42, u' ') + QStringLiteral("-   Pellam"),
      QString(25, u'='),
      QString(),
      ToQString(u"更新日志:"),
      QStringLiteral("2010.10.11 13:26:"),
      ToQString(u"     发布第一版,暂定为1.0测试版,希望"),
      ToQString(u"大家发现问题告诉偶."),
  };
  const QStringList shown = Lines(*Find<QPlainTextEdit>(window_, "mmo1"));
  ASSERT_EQ(shown.size(), 21);
  for (int i = 0; i < 21; ++i) EXPECT_EQ(shown[i], expected[i]) << "line " << i + 1;
}

TEST_F(WindowLayoutTest, TextBoxSettings) {
  auto* output = Find<QPlainTextEdit>(window_, "mmoText");
  auto* instructions = Find<QPlainTextEdit>(window_, "mmo1");
  for (QPlainTextEdit* memo : {output, instructions}) {
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth)
        << memo->objectName().toStdString();
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(memo->tabChangesFocus());
  }
  EXPECT_EQ(output->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(output->isReadOnly());
  EXPECT_TRUE(instructions->isReadOnly());
  EXPECT_EQ(instructions->frameShadow(), QFrame::Plain);
}

TEST_F(WindowLayoutTest, TheInstructionsCannotBeChangedByTyping) {
  ShowActive();
  auto* instructions = Find<QPlainTextEdit>(window_, "mmo1");
  const QString before = instructions->toPlainText();
  instructions->setFocus();
  QTest::keyClicks(instructions, QStringLiteral("xyz"));
  QTest::keyClick(instructions, Qt::Key_Backspace);
  QTest::keyClick(instructions, Qt::Key_Return);
  EXPECT_EQ(instructions->toPlainText(), before);
}

TEST_F(WindowLayoutTest, StatusPanelsWidthsBevelsAndInitialTexts) {
  ShowActive();
  const struct {
    int left, right;
    Text text;
  } panels[] = {
      {0, 99, u"作者:Pellam"}, {100, 149, u""}, {150, 199, u""}, {200, 688, u"当前进度:"}};
  for (int i = 0; i < 4; ++i) {
    auto* panel = Find<QLabel>(window_, ("stat1Panel" + std::to_string(i)).c_str());
    ASSERT_NE(panel, nullptr) << i;
    EXPECT_EQ(panel->geometry().left(), panels[i].left) << i;
    EXPECT_EQ(panel->geometry().right(), panels[i].right) << i;
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken) << i;
    EXPECT_TRUE(panel->alignment() & Qt::AlignLeft) << i;
    EXPECT_EQ(window_.StatusPanelText(i), panels[i].text) << i;
  }
}

// With a larger system font the status bar grows just enough to show its
// texts uncut, and the output box gives up the height.
TEST(StatusBarHeight, FitsTheSystemFont) {
  const QFont systemFont = QApplication::font();
  const struct Restore {
    QFont font;
    ~Restore() { QApplication::setFont(font); }
  } restore{systemFont};
  for (const int points : {systemFont.pointSize(), 11, 14, 16}) {
    QFont font = systemFont;
    font.setPointSize(points);
    QApplication::setFont(font);
    QtWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int needed = 0;
    for (int i = 0; i < 4; ++i) {
      auto* panel = Find<QLabel>(window, ("stat1Panel" + std::to_string(i)).c_str());
      // The height of the line as drawn, fallback fonts for the Chinese included.
      const int textHeight =
          panel->fontMetrics().boundingRect(QRect(), Qt::TextSingleLine, panel->text()).height();
      EXPECT_LE(textHeight, panel->contentsRect().height()) << points << " pt, panel " << i;
      needed = std::max(needed, textHeight + 2 * panel->frameWidth());
    }
    const QRect bar = InClient(window, "stat1");
    EXPECT_EQ(bar.height(), std::max(19, needed)) << points << " pt";
    EXPECT_EQ(bar.bottom(), 411) << points << " pt";
    EXPECT_EQ(InClient(window, "mmoText"), QRect(0, 43, 456, bar.top() - 43)) << points << " pt";
    if (points == systemFont.pointSize()) {
      EXPECT_EQ(bar.height(), 19);
    }
  }
}

TEST_F(WindowLayoutTest, FontIsEightPointSansSerifButNotInTheStatusBar) {
  const QFont font = window_.font();
  EXPECT_EQ(font.pointSize(), 8);
  ASSERT_FALSE(font.families().isEmpty());
  EXPECT_EQ(font.families().front(), QStringLiteral("Tahoma"));
  EXPECT_EQ(Find<QWidget>(window_, "edtWebSite")->font().pointSize(), 8);
  EXPECT_EQ(Find<QWidget>(window_, "stat1")->font().families(), QApplication::font().families());
}

TEST_F(WindowLayoutTest, StartButtonHasTheFocusAndTabCyclesInOrder) {
  ShowActive();
  ASSERT_TRUE(WaitUntil([] { return QApplication::focusWidget() != nullptr; }));
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("btnStart"));
  const char* order[] = {"edtWebSite", "mmoText", "mmo1", "btnStart", "edtWebSite"};
  for (const char* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
  }
  // Tab inside the output box moves on rather than typing a tab.
  EXPECT_FALSE(Find<QPlainTextEdit>(window_, "mmoText")->toPlainText().contains(u'\t'));
}

TEST_F(WindowLayoutTest, EnterClicksStartOnlyWhileItHasTheFocus) {
  ShowActive();
  SetAddress(window_, u"not a thread address");  // the click then only shows a message
  auto* start = Find<QPushButton>(window_, "btnStart");
  int clicks = 0;
  QObject::connect(start, &QPushButton::clicked, [&] { ++clicks; });
  auto* address = Find<QLineEdit>(window_, "edtWebSite");
  address->setFocus();
  QTest::keyClick(address, Qt::Key_Return);
  EXPECT_EQ(clicks, 0);
  start->setFocus();
  QTest::keyClick(start, Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  QTest::keyClick(start, Qt::Key_Space);
  EXPECT_EQ(clicks, 2);
}

TEST_F(WindowLayoutTest, PopupMenuItemsInOrder) {
  auto* menu = Find<QMenu>(window_, "pm");
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(items.size(), 4);
  const struct {
    const char* name;
    Text caption;
    bool separator;
  } expected[] = {{"N1", u"去看看有没新版本(&G)", false},
                  {"N2", u"去帮Pellam浇花(&H)", false},
                  {"N3", u"", true},
                  {"XTs1", u"把文档保存为TXT(&S)", false}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items[i]->objectName(), QString::fromLatin1(expected[i].name));
    EXPECT_EQ(items[i]->isSeparator(), expected[i].separator) << expected[i].name;
    if (!expected[i].separator) {
      EXPECT_EQ(items[i]->text(), ToQString(expected[i].caption));
    }
    EXPECT_EQ(window_.findChild<QAction*>(QString::fromLatin1(expected[i].name)), items[i]);
  }
}

}  // namespace
}  // namespace velbrook::testing
