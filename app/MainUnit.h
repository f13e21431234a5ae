#pragma once
// The main window TfrmMain: its controls, the page operations (the page
// rules of page/ under the window's names), the page fetch, the extraction
// run and the handlers of its controls.
#include <QMainWindow>
#include <memory>

#include "app/HandOver.h"
#include "app/MyThread.h"
#include "app/SaveDialog.h"
#include "page/Extraction.h"
#include "page/PageList.h"
#include "text/MarkerText.h"

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QAction;

namespace velbrook {
class HttpClient;
class StatusBar;
}  // namespace velbrook

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // --- The page rules of page/ under the window's names: no window, no network. ---
  static velbrook::Text GetUrlBefore(const velbrook::Text& AStr) {
    return velbrook::GetUrlBefore(AStr);
  }
  static void GetPageName(const velbrook::Text& AHtmlCode, velbrook::TextList& Page) {
    velbrook::GetPageName(AHtmlCode, Page);
  }
  static void GetAuthorTitle(velbrook::TextView AHtmlCode, velbrook::Text& AAuthor,
                             velbrook::Text& ATitle) {
    velbrook::GetAuthorTitle(AHtmlCode, AAuthor, ATitle);
  }
  static velbrook::Text GetFirstPost(velbrook::TextView AHtmlCode) {
    return velbrook::GetFirstPost(AHtmlCode);
  }
  static velbrook::Text FilterStr(const velbrook::Text& AStr) { return velbrook::FilterStr(AStr); }

  // --- Page fetch and extraction run (ExtractionRun.cpp), on the worker. ---
  // Fetches AUrl and returns its page block.
  velbrook::Text GetSingerPage(const velbrook::Text& AUrl, const velbrook::Text& AType);
  // The extraction run of one job; runs on the worker. Always false.
  bool ToText();

  // --- Page fetch (Fetch.cpp): the page text of AUrl, or a FetchError. ---
  velbrook::Text GetWebSiteTxt(const velbrook::Text& AUrl);

  // --- Window access (MainUnit.cpp). Callable from the worker: carried out on
  // the window's thread in call order, reads returning their value; called on
  // the window's thread they run directly. ---
  velbrook::Text ReadAddressBox();
  velbrook::Text ReadCaption();
  void ClearOutput();
  // Appends a non-blank block by the output's append rule.
  void AppendOutput(const velbrook::Text& ABlock);
  // The output text with CR LF between its lines.
  velbrook::Text ReadOutput();
  // "A": progress panel 3; "S": panel 0; any other kind: nothing.
  void ShowStatus(const velbrook::Text& AText, const velbrook::Text& AKind);
  // Sets the busy flag back to 0: the worker's last change to the window.
  void ClearBusyFlag();

  // --- Window's thread only. ---
  // The busy flag: the Start button's integer Tag, 0 or 1.
  int BusyFlag() const;
  void SetBusyFlag(int ATag);
  // The text of status panel AIndex (0 to 3).
  velbrook::Text StatusPanelText(int AIndex) const;
  // From now on work handed over by a worker is dropped and a worker waiting
  // for a read gets an empty text. The window's end calls it before anything
  // that waits for the worker; it is safe to call more than once.
  void EndHandOver();
  // Cuts a running job short for the window's end (JobControl.cpp): the
  // hand-over ended, the HTTP client aborted, the worker joined.
  void AbandonJob();

  // --- Handlers of the controls. ---
  // Start button (JobControl.cpp): address test, busy test, worker start.
  void btnStartClick(QObject* Sender);
  bool CheckWebSite();
  // Popup menu: the two home-page items (MainUnit.cpp), save (Saving.cpp).
  void N1Click(QObject* Sender);
  void N2Click(QObject* Sender);
  void XTs1Click(QObject* Sender);

  // The save dialog (Saving.cpp); remembers the name chosen last.
  velbrook::SaveDialog dlgSave;

  // The HTTP client, owned by the window for its whole life.
  velbrook::HttpClient& idhtp() { return *idhtp_; }

 protected:
  // A change of the user's regional settings re-reads the decimal separator.
  void changeEvent(QEvent* event) override;

 private:
  void CreateControls();
  // Window's thread: appends a block to pendingOutput_, or at once to the
  // output box when the box does not end with a line break.
  void QueueOutput(const velbrook::Text& ABlock);
  // Window's thread: pendingOutput_ into the output box in one insertion.
  void TakeInOutput();
  void CreateTopPanel();
  void CreatePopupMenu();
  void SetTabOrder();

  // Controls; the window owns them through Qt's parent-child tree.
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* edtWebSite = nullptr;
  QPushButton* btnStart = nullptr;
  QPlainTextEdit* mmoText = nullptr;
  QFrame* pnl1 = nullptr;
  QPlainTextEdit* mmo1 = nullptr;
  velbrook::StatusBar* stat1 = nullptr;
  QMenu* pm = nullptr;
  QAction* N1 = nullptr;
  QAction* N2 = nullptr;
  QAction* N3 = nullptr;
  QAction* XTs1 = nullptr;

  // Blocks appended during the current stretch of work on the window's
  // thread, each followed by its line break, not yet in the output box: the
  // hand-over has it take them in one insertion when the stretch ends, and
  // clearing and reading take them in first.
  QString pendingOutput_;
  qsizetype pendingLines_ = 0;  // its line breaks

  std::unique_ptr<velbrook::HttpClient> idhtp_;
  // The worker of the running job, or of the last one until the next starts.
  std::unique_ptr<TMyThread> worker_;
  // Last member: it closes first of them, after the destructor's body and
  // before the controls go.
  velbrook::HandOver handOver_;
};
