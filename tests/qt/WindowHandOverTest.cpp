// The hand-over as the Qt window meets it: the window's operations from a
// worker arrive in order, the output box shows only whole prefixes of a job's
// changes at every turn of the event loop, and nothing arrives once the
// window's end began.
#include <gtest/gtest.h>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/MainUnit.h"
#include "qt/QtWindow.h"
#include "tests/support/WindowProbe.h"
#include "tests/support/Worker.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

// The window's event loop, for Worker::Finish.
struct QtLoop {
  bool WaitUntil(const std::function<bool()>& done) { return testing::WaitUntil(done); }
} loop;

TEST(WindowHandOverTest, WindowOperationsFromASecondThreadArriveInOrder) {
  QtWindow shown;
  TfrmMain& window = shown.frmMain();
  Find<QLineEdit>(shown, "edtWebSite")->setText(QStringLiteral("typed address "));
  window.btnStart.Tag = 1;
  window.AppendOutput(u"left from before");
  Text address;
  Text caption;
  std::vector<Text> outputsSeen;
  Worker worker([&] {
    address = window.ReadAddressBox();
    caption = window.ReadCaption();
    window.ClearOutput();
    for (int page = 1; page <= 5; ++page) {
      window.ShowStatus(u"page " + DecimalDigits(page), u"A");
      window.AppendOutput(u"block " + DecimalDigits(page));
      outputsSeen.push_back(window.ReadOutput());
    }
    window.ClearBusyFlag();
  });
  ASSERT_TRUE(worker.Finish(loop));
  EXPECT_EQ(address, u"typed address ");  // unchanged, nothing trimmed
  EXPECT_EQ(caption, u"Velbrook1.0b");
  ASSERT_EQ(outputsSeen.size(), 5u);
  EXPECT_EQ(outputsSeen[0], u"block 1\r\n");
  EXPECT_EQ(outputsSeen[4], u"block 1\r\nblock 2\r\nblock 3\r\nblock 4\r\nblock 5\r\n");
  ASSERT_TRUE(WaitUntil([&] { return window.btnStart.Tag == 0; }));
  EXPECT_EQ(shown.StatusPanelText(3), u"page 5");
  EXPECT_EQ(window.ReadOutput(), outputsSeen[4]);
}

// One window operation of a job's script, as the run makes it.
struct Operation {
  enum Kind { Clear, Append, Status, Read } kind;
  Text text;  // the block or the progress text
};

// What the window shows: the output box (its length and its end), the
// progress panel, the busy flag.
struct Shown {
  int outputLength;
  QString outputEnd;
  Text progress;
  int busy;
  bool operator==(const Shown&) const = default;
};

Shown ShownBy(QtWindow& window) {
  QTextDocument& output = *Find<QPlainTextEdit>(window, "mmoText")->document();
  QTextCursor end(&output);
  end.movePosition(QTextCursor::End);
  end.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, 64);
  return {output.characterCount(), end.selectedText(), window.StatusPanelText(3),
          window.frmMain().btnStart.Tag};
}

// Lines of lineUnits characters, count of them, broken by CR LF or by a
// lone CR or LF in turn.
Text Lines(size_t count, size_t lineUnits) {
  const Text breaks[] = {u"\r\n", u"\r", u"\n"};
  Text lines;
  for (size_t i = 0; i < count; ++i) {
    lines += Text(lineUnits, static_cast<char16_t>(u'a' + i % 26));
    if (i + 1 < count) lines += breaks[i % 3];
  }
  return lines;
}

TEST(WindowHandOverTest, HandedOverOutputShowsOnlyWholePrefixesAndEndsAsAppendedOneByOne) {
  std::vector<Operation> manyShort{{Operation::Clear, {}}};
  for (int i = 0; i < 2500; ++i) {
    if (i % 500 == 0) manyShort.push_back({Operation::Status, u"short " + DecimalDigits(i)});
    manyShort.push_back({Operation::Append, u"line " + DecimalDigits(i)});
    if (i % 1000 == 999) manyShort.push_back({Operation::Read, {}});
  }
  manyShort.push_back({Operation::Clear, {}});  // the next job's clear
  manyShort.push_back({Operation::Append, u"after the clear"});
  std::vector<Operation> longPages{{Operation::Read, {}}, {Operation::Clear, {}}};
  for (int page = 1; page <= 20; ++page) {
    longPages.push_back({Operation::Status, u"page " + DecimalDigits(page)});
    // Every seventh page is one of many short lines.
    longPages.push_back(
        {Operation::Append, Lines(page % 7 == 0 ? 3000 : 150, page % 7 == 0 ? 12 : 300)});
    if (page % 10 == 0) longPages.push_back({Operation::Read, {}});
  }
  const struct {
    const char* name;
    QString before;  // the output box's text before the job
    std::vector<Operation> operations;
  } cases[] = {
      {"many short blocks", QStringLiteral("earlier\n"), manyShort},
      {"long pages", QString(), longPages},
      // The user removed the final break: each block then comes after a
      // break, and a block that ends with a break puts the next after it.
      {"no final break",
       QStringLiteral("kept"),
       {{Operation::Append, u"two"},
        {Operation::Append, u"three\r\n"},
        {Operation::Append, u"four"},
        {Operation::Read, {}},
        {Operation::Append, u"five\r"},
        {Operation::Append, u"six"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The reference: every operation carried out on its own, as it comes,
    // and read back at once.
    QtWindow referenceWindow;
    TfrmMain& reference = referenceWindow.frmMain();
    Find<QPlainTextEdit>(referenceWindow, "mmoText")->setPlainText(c.before);
    reference.btnStart.Tag = 1;
    std::vector<Shown> states{ShownBy(referenceWindow)};
    std::vector<Text> expectedReads;
    const auto apply = [](TfrmMain& window, const Operation& operation, std::vector<Text>& reads) {
      switch (operation.kind) {
        case Operation::Clear:
          window.ClearOutput();
          break;
        case Operation::Append:
          window.AppendOutput(operation.text);
          break;
        case Operation::Status:
          window.ShowStatus(operation.text, u"A");
          break;
        case Operation::Read:
          reads.push_back(window.ReadOutput());
          break;
      }
    };
    for (const Operation& operation : c.operations) {
      apply(reference, operation, expectedReads);
      reference.ReadOutput();
      states.push_back(ShownBy(referenceWindow));
    }
    reference.ClearBusyFlag();
    states.push_back(ShownBy(referenceWindow));

    QtWindow shown;
    TfrmMain& window = shown.frmMain();
    Find<QPlainTextEdit>(shown, "mmoText")->setPlainText(c.before);
    window.btnStart.Tag = 1;
    // Whenever the event loop gets its turn, what shows is the state after
    // a prefix of the operations, never an earlier one than before.
    size_t prefix = 0;
    size_t turns = 0;
    bool onlyPrefixes = true;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      ++turns;
      const Shown now = ShownBy(shown);
      while (prefix < states.size() && !(states[prefix] == now)) ++prefix;
      if (prefix == states.size()) onlyPrefixes = false;
    });
    probe.start();
    std::vector<Text> reads;
    Worker worker([&] {
      for (const Operation& operation : c.operations) apply(window, operation, reads);
      window.ClearBusyFlag();
    });
    ASSERT_TRUE(worker.Finish(loop));
    ASSERT_TRUE(WaitUntil([&] { return window.btnStart.Tag == 0 && prefix + 1 >= states.size(); }));
    probe.stop();
    EXPECT_TRUE(onlyPrefixes);
    // A long script spans many turns of the loop: states in between were seen.
    if (c.operations.size() > 100) {
      EXPECT_GT(turns, 2u);
    }
    EXPECT_EQ(reads, expectedReads);
    EXPECT_EQ(window.ReadOutput(), reference.ReadOutput());
  }
}

TEST(WindowHandOverTest, AfterTheWindowsEndBeganTheWorkerIsDroppedNotBlocked) {
  QtWindow shown;
  TfrmMain& window = shown.frmMain();
  window.AppendOutput(u"kept");
  std::atomic<bool> asking{false};
  Text address = u"unset";
  Worker worker([&] {
    asking = true;
    address = window.ReadAddressBox();
    window.AppendOutput(u"dropped");
    window.ShowStatus(u"dropped", u"A");
    window.ClearBusyFlag();
  });
  while (!asking) std::this_thread::yield();
  window.btnStart.Tag = 1;
  window.EndHandOver();
  ASSERT_TRUE(worker.Finish(loop));
  QCoreApplication::processEvents();
  EXPECT_EQ(address, Text());
  EXPECT_EQ(ToUtf8(shown.StatusPanelText(3)), "当前进度:");
  EXPECT_EQ(window.btnStart.Tag, 1);
}

}  // namespace
}  // namespace velbrook::testing
