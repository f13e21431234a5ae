#pragma once
// Header-only helpers for tests of the real Qt window: the window with a
// person's answers (its message boxes recorded, its save dialog answered,
// the browser recorded), controls found by name, and a wait on a condition
// that keeps the window's event loop turning.
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <functional>
#include <optional>

#include "qt/QtPlatform.h"
#include "qt/QtWindow.h"
#include "tests/support/WindowAnswers.h"
#include "text/MarkerText.h"

namespace velbrook::testing {

// Turns the event loop until done() holds; false when the limit passed.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs) {
  return QTest::qWaitFor(done, limitMs);
}

// The real window, but for what would need a person: the boxes, the dialog
// and the browser.
class TestWindow : public QtWindow, public WindowAnswers {
 public:
  void ShowMessageBox(const Text& caption, const Text& text, MessageIcon icon) override {
    RecordBox(caption, text, icon);
  }
  std::optional<Text> RunSaveDialog(const Text& filter, const Text& initialName) override {
    return AnswerDialog(filter, initialName);
  }
  void OpenWebAddress(const Text& address) override { RecordOpened(address); }
};

// A child control of window by its object name; null when there is none.
template <class Control>
Control* Find(QWidget& window, const char* name) {
  return window.findChild<Control*>(QString::fromLatin1(name));
}

inline void SetAddress(QWidget& window, const Text& address) {
  Find<QLineEdit>(window, "edtWebSite")->setText(ToQString(address));
}

// A left click in the middle of the Start button, as the user makes it.
inline void ClickStart(QWidget& window) {
  QTest::mouseClick(Find<QPushButton>(window, "btnStart"), Qt::LeftButton);
}

}  // namespace velbrook::testing
