#pragma once
// The main window frmMain on Qt: its controls under their names, laid out
// and behaving as the form says, and TfrmMain, which it shows.
#include <QMainWindow>

#include "app/MainUnit.h"
#include "app/Window.h"
#include "text/MarkerText.h"

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QAction;

namespace velbrook {

class StatusBar;

class QtWindow : public QMainWindow, public Window {
  Q_OBJECT

 public:
  explicit QtWindow(QWidget* parent = nullptr);
  // A running job is cut short before the HTTP client and the controls go.
  ~QtWindow() override;

  TfrmMain& frmMain() { return frmMain_; }
  // The text of status panel index (0 to 3).
  Text StatusPanelText(int index) const;

  // --- Window ---
  Text AddressText() override;
  Text Caption() override;
  void ClearOutput() override;
  void AddToOutput(const Text& text) override;
  bool OutputEndsAtLineStart() override;
  Text OutputText() override;
  void SetPanelText(int index, const Text& text) override;
  void ShowMessageBox(const Text& caption, const Text& text, MessageIcon icon) override;
  std::optional<Text> RunSaveDialog(const Text& filter, const Text& initialName) override;
  void OpenWebAddress(const Text& address) override;
  void EndOfWork() override;

 protected:
  // A change of the user's regional settings re-reads the decimal separator.
  void changeEvent(QEvent* event) override;

 private:
  void CreateControls();
  void CreateTopPanel();
  void CreatePopupMenu();
  void SetTabOrder();
  // pendingOutput_ into the output box in one insertion.
  void TakeInOutput();
  // The hand-over's wake, from any thread.
  void WakeForHandOver();

  // Controls; the window owns them through Qt's parent-child tree.
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* edtWebSite = nullptr;
  QPushButton* btnStart = nullptr;
  QPlainTextEdit* mmoText = nullptr;
  QFrame* pnl1 = nullptr;
  QPlainTextEdit* mmo1 = nullptr;
  StatusBar* stat1 = nullptr;
  QMenu* pm = nullptr;
  QAction* N1 = nullptr;
  QAction* N2 = nullptr;
  QAction* N3 = nullptr;
  QAction* XTs1 = nullptr;

  // Text added during the current stretch of handed-over work, with the
  // line breaks the document takes, not yet in the output box: it goes in
  // as one insertion when the stretch ends, and clearing and reading take
  // it in first.
  QString pendingOutput_;
  qsizetype pendingLines_ = 0;  // its line breaks

  // Last member: it goes first, before the controls.
  TfrmMain frmMain_{*this};
};

}  // namespace velbrook
