#pragma once
// What TfrmMain needs of its window, and all it knows of it: the Qt window
// and the Win32 window each implement it, and the job's tests use a double.
// Every operation runs on the window's thread, but WakeHandOver.
#include <functional>
#include <optional>
#include <utility>

#include "text/MarkerText.h"

namespace velbrook {

// The icon of a message box; the values are the Windows MB_ICON* flags.
enum class MessageIcon : unsigned { Error = 0x10, Information = 0x40 };

class Window {
 public:
  virtual ~Window() = default;

  // The address box's text, unchanged.
  virtual Text AddressText() = 0;
  virtual Text Caption() = 0;

  virtual void ClearOutput() = 0;
  // Adds text at the end of the output box, wherever the user's cursor or
  // selection was; the cursor ends after it. CR LF is the line break.
  virtual void AddToOutput(const Text& text) = 0;
  // True when the output is empty or ends with a line break.
  virtual bool OutputEndsAtLineStart() = 0;
  // What the box shows, the user's edits included, with CR LF between its
  // lines and no break where word wrap only folds a line.
  virtual Text OutputText() = 0;

  // Status panel index (0 to 3) gets text.
  virtual void SetPanelText(int index, const Text& text) = 0;

  // A modal box owned by the window with one OK button; returns when the
  // user closes it.
  virtual void ShowMessageBox(const Text& caption, const Text& text, MessageIcon icon) = 0;
  // The save-file dialog, modal: filter in the form "display|mask[|...]",
  // the name it opens with. The full path chosen; nothing when cancelled.
  virtual std::optional<Text> RunSaveDialog(const Text& filter, const Text& initialName) = 0;
  // Hands address to the desktop's web browser; may fail by throwing.
  virtual void OpenWebAddress(const Text& address) = 0;

  // Called from any thread: the window's thread is to call
  // TfrmMain::DrainHandOver soon, once the input and painting waiting now
  // had their turn.
  void WakeHandOver() const { wake_(); }
  // The end of a stretch of handed-over work: a window that gathers its
  // output for one insertion puts it in now.
  virtual void EndOfWork() {}

 protected:
  // The window's wake, set by its constructor. A function of its own, not a
  // virtual one: a worker may wake the window while its destructor runs, up
  // to the point where that ends the hand-over, and meanwhile the
  // destructors change which virtual functions the window has.
  explicit Window(std::function<void()> wake) : wake_(std::move(wake)) {}

 private:
  const std::function<void()> wake_;
};

}  // namespace velbrook
