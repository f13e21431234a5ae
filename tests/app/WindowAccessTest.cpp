// TfrmMain's rules of window access, whatever window shows them: the status
// kind that picks a panel, the busy flag the worker hands back.
#include <gtest/gtest.h>

#include <array>

#include "app/MainUnit.h"
#include "tests/app/FakeWindow.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

TEST(WindowAccessTest, ShowStatusKinds) {
  const struct {
    Text kind;
    int changedPanel;  // -1: none
  } cases[] = {{u"A", 3},   {u"S", 0},   {u"a", -1},  {u"s", -1},           {u"", -1},
               {u"AA", -1}, {u" A", -1}, {u"A ", -1}, {Text(u"A\0", 2), -1}};
  for (const auto& c : cases) {
    FakeWindow window;
    const std::array<Text, 4> before = window.panels;
    window.frmMain.ShowStatus(u"当前进度:50.00%,(1/2)", c.kind);
    for (int panel = 0; panel < 4; ++panel) {
      const Text expected = panel == c.changedPanel ? u"当前进度:50.00%,(1/2)" : before[panel];
      EXPECT_EQ(window.panels[panel], expected)
          << "kind '" << ToUtf8(c.kind) << "' panel " << panel;
    }
  }
}

TEST(WindowAccessTest, BusyFlagIsTheStartButtonsTagAndTheWorkerClearsIt) {
  FakeWindow window;
  EXPECT_EQ(window.frmMain.btnStart.Tag, 0);
  window.frmMain.btnStart.Tag = 1;
  window.frmMain.ClearBusyFlag();
  EXPECT_EQ(window.frmMain.btnStart.Tag, 0);
}

}  // namespace
}  // namespace velbrook::testing
