#pragma once
// Header-only helpers for tests of the real window: the message boxes and
// the save dialog answered without a person, controls found by name, and a
// wait on a condition that keeps the window's event loop turning.
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/Platform.h"
#include "text/MarkerText.h"

namespace velbrook::testing {

// Long enough for a loaded machine, short enough to fail a hung test.
inline constexpr int kWindowWaitMs = 20000;
// Far below the 30 s read time-out: a close that waited for it fails this limit.
inline constexpr auto kCloseLimit = std::chrono::seconds(10);

// Turns the event loop until done() holds; false when the limit passed.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs) {
  return QTest::qWaitFor(done, limitMs);
}

// Records every message box instead of showing it. While a box is "open",
// whileOpen runs, as the user's other actions would during a modal box.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder() {
    previous_ = SetMessageBoxShower([this](const MessageBoxRequest& request) {
      boxes.push_back(request);
      if (whileOpen) whileOpen(request);
    });
  }
  ~MessageBoxRecorder() { SetMessageBoxShower(std::move(previous_)); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<MessageBoxRequest> boxes;
  std::function<void(const MessageBoxRequest&)> whileOpen;

 private:
  MessageBoxShower previous_;
};

// Answers the save dialog with the queued answers in turn (nullopt: the user
// cancels) and records what each showing was asked to show.
class SaveDialogAnswerer {
 public:
  SaveDialogAnswerer() {
    previous_ =
        SetSaveDialogShower([this](const SaveDialogRequest& request) -> std::optional<Text> {
          requests.push_back(request);
          if (answers.empty()) return std::nullopt;
          std::optional<Text> answer = answers.front();
          answers.pop_front();
          return answer;
        });
  }
  ~SaveDialogAnswerer() { SetSaveDialogShower(std::move(previous_)); }
  SaveDialogAnswerer(const SaveDialogAnswerer&) = delete;
  SaveDialogAnswerer& operator=(const SaveDialogAnswerer&) = delete;

  std::deque<std::optional<Text>> answers;
  std::vector<SaveDialogRequest> requests;

 private:
  SaveDialogShower previous_;
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
