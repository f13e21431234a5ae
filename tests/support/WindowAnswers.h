#pragma once
// What a person at the window would answer, for the test windows (the job's
// double and the real Qt window under test): every message box recorded
// instead of shown, the save dialog answered from a queue, the web addresses
// handed to the browser recorded. Qt-free.
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/Window.h"
#include "text/MarkerText.h"

namespace velbrook::testing {

// Long enough for a loaded machine, short enough to fail a hung test.
inline constexpr int kWindowWaitMs = 20000;
// Far below the 30 s read time-out: a close that waited for it fails this limit.
inline constexpr auto kCloseLimit = std::chrono::seconds(10);

struct MessageBoxRequest {
  Text caption;
  Text text;
  MessageIcon icon = MessageIcon::Information;
};

struct SaveDialogRequest {
  Text filter;
  Text initialName;
};

class WindowAnswers {
 public:
  std::vector<MessageBoxRequest> boxes;
  // Runs while a box is "open", as the user's other actions would.
  std::function<void(const MessageBoxRequest&)> whileOpen;
  // The save dialog's answers in turn; nullopt, or none left: the user cancels.
  std::deque<std::optional<Text>> answers;
  std::vector<SaveDialogRequest> requests;
  std::vector<Text> opened;
  // The browser refuses every address.
  bool browserFails = false;

 protected:
  void RecordBox(const Text& caption, const Text& text, MessageIcon icon) {
    boxes.push_back({caption, text, icon});
    if (whileOpen) whileOpen(boxes.back());
  }
  std::optional<Text> AnswerDialog(const Text& filter, const Text& initialName) {
    requests.push_back({filter, initialName});
    if (answers.empty()) return std::nullopt;
    std::optional<Text> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void RecordOpened(const Text& address) {
    opened.push_back(address);
    if (browserFails) throw std::runtime_error("no browser");
  }
};

}  // namespace velbrook::testing
