#pragma once
// The main window TfrmMain, whichever window system shows it: the page
// operations (the page rules of page/ under the window's names), the page
// fetch, the extraction run, the handlers of its controls and the busy flag.
// It reaches the window's controls only through the Window it is given.
#include <memory>

#include "app/HandOver.h"
#include "app/SaveDialog.h"
#include "app/Window.h"
#include "page/Extraction.h"
#include "page/PageList.h"
#include "text/MarkerText.h"

class TMyThread;
namespace velbrook {
class HttpClient;
}  // namespace velbrook

// What the window keeps of its Start button: the busy flag, 1 while a job
// runs, 0 otherwise.
struct TButton {
  int Tag = 0;
};

class TfrmMain {
 public:
  // window shows what this one does and lives longer than it.
  explicit TfrmMain(velbrook::Window& window);
  // A running job is cut short first (AbandonJob).
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

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

  // --- Window access. Callable from the worker: carried out on the window's
  // thread in call order, reads returning their value; called on the
  // window's thread they run directly. ---
  velbrook::Text ReadAddressBox();
  velbrook::Text ReadCaption();
  void ClearOutput();
  // Appends a non-blank block: after a final line break (or into an empty
  // output) the block and a break, otherwise a break and the block.
  void AppendOutput(const velbrook::Text& ABlock);
  // The output text with CR LF between its lines.
  velbrook::Text ReadOutput();
  // "A": progress panel 3; "S": panel 0; any other kind: nothing.
  void ShowStatus(const velbrook::Text& AText, const velbrook::Text& AKind);
  // Sets the busy flag back to 0: the worker's last change to the window.
  void ClearBusyFlag();

  // --- Window's thread only. ---
  // One modal box with the window's caption at this moment.
  void ShowMessageBox(const velbrook::Text& AText, velbrook::MessageIcon AIcon);
  // The box for a failure that nothing else handled: the application title
  // as caption, the error icon, the message with its full stop.
  void ShowDefaultErrorBox(const velbrook::Text& AMessage);
  // Runs action; a failure escaping it goes to the default error box and the
  // window carries on. Every handler runs through it.
  void RunGuarded(const std::function<void()>& action);
  // One slice of the work handed over by the worker (Window::WakeHandOver).
  void DrainHandOver() { handOver_.Drain(); }
  // From now on work handed over by a worker is dropped and a worker waiting
  // for a read gets an empty text. The window's end calls it before anything
  // that waits for the worker; it is safe to call more than once.
  void EndHandOver();
  // Cuts a running job short for the window's end (JobControl.cpp): the
  // hand-over ended, the HTTP client aborted, the worker joined. Safe to call
  // more than once.
  void AbandonJob();

  // --- Handlers of the controls; Sender is the control, unused. ---
  // Start button (JobControl.cpp): address test, busy test, worker start.
  void btnStartClick(const void* Sender = nullptr);
  bool CheckWebSite();
  // Popup menu: the two home-page items, save (Saving.cpp).
  void N1Click(const void* Sender = nullptr);
  void N2Click(const void* Sender = nullptr);
  void XTs1Click(const void* Sender = nullptr);

  // The Start button's busy flag; the window's thread only.
  TButton btnStart;
  // The save dialog (Saving.cpp); remembers the name chosen last.
  velbrook::SaveDialog dlgSave;

  // The HTTP client, owned by the window for its whole life.
  velbrook::HttpClient& idhtp() { return *idhtp_; }

 private:
  velbrook::Window& window_;
  std::unique_ptr<velbrook::HttpClient> idhtp_;
  // The worker of the running job, or of the last one until the next starts.
  std::unique_ptr<TMyThread> worker_;
  // Last member: it closes first of them, after the destructor's body.
  velbrook::HandOver handOver_;
};
