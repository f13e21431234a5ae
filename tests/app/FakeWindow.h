#pragma once
// The job's test double of the window: TfrmMain as the real windows hold
// it, over plain texts instead of controls, with a person's answers
// (WindowAnswers) and the window's thread played by the test's thread, which
// drains the hand-over while it waits. No window system.
#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/MainUnit.h"
#include "app/Window.h"
#include "tests/support/WindowAnswers.h"
#include "text/MarkerText.h"

namespace velbrook::testing {

class FakeWindow : public Window, public WindowAnswers {
 public:
  FakeWindow();
  // The window's end: a running job is cut short first.
  ~FakeWindow() override;

  // The controls' texts; the output with CR LF line breaks.
  Text address;
  Text caption;
  Text output;
  std::array<Text, 4> panels;

  // Turns the window's thread until done holds, draining the hand-over
  // whenever it was woken; false when limitMs passed.
  bool WaitUntil(const std::function<bool()>& done, int limitMs = kWindowWaitMs);
  // A press of the Start button, guarded as every handler is.
  void ClickStart();
  // How many times the hand-over woke the window's thread.
  int Wakes();

  Text AddressText() override { return address; }
  Text Caption() override { return caption; }
  void ClearOutput() override { output.clear(); }
  void AddToOutput(const Text& text) override { output += text; }
  bool OutputEndsAtLineStart() override;
  Text OutputText() override { return output; }
  void SetPanelText(int index, const Text& text) override;
  void ShowMessageBox(const Text& boxCaption, const Text& text, MessageIcon icon) override {
    RecordBox(boxCaption, text, icon);
  }
  std::optional<Text> RunSaveDialog(const Text& filter, const Text& initialName) override {
    return AnswerDialog(filter, initialName);
  }
  void OpenWebAddress(const Text& webAddress) override { RecordOpened(webAddress); }

 private:
  // The hand-over's wake, from any thread.
  void Wake();

  std::mutex lock_;
  std::condition_variable woken_;
  int wakes_ = 0;
  int drained_ = 0;  // window's thread only: the wakes answered

 public:
  // Last: it goes first, before the texts it shows.
  TfrmMain frmMain{*this};
};

}  // namespace velbrook::testing
