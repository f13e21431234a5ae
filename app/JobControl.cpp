// The Start button: the address test, the one-job-at-a-time rule and the
// worker's start; and the end of a job that the window's close cuts short.
#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>

#include "app/MainUnit.h"
#include "app/MyThread.h"
#include "app/Site.h"
#include "fetch/HttpClient.h"
#include "os/SystemError.h"

namespace {

const velbrook::Text kImplausibleAddress =
    u"你输入的网址好像不是天涯的网址喔,请直接从那边复制过来吧!";
const velbrook::Text kJobRunning = u"已经在帮你干活啦!猴急什么的最讨厌啦!";
const velbrook::Text kThreadCreationError = u"Thread creation error: ";

// How long the window's end gives an aborted worker to come out of the run.
// An aborted client fails every wait at once, so only a wait that nothing
// can wake (a host-name lookup) comes near it.
constexpr std::chrono::milliseconds kAbandonLimit{800};

}  // namespace

bool TfrmMain::CheckWebSite() {
  const velbrook::Text address = ReadAddressBox();
  return velbrook::Find(velbrook::kForumSiteAddress, address) >= 1 &&
         velbrook::Find(u"shtml", address) >= 1;
}

void TfrmMain::btnStartClick(const void* /*Sender*/) {
  if (!CheckWebSite()) {
    ShowMessageBox(kImplausibleAddress, velbrook::MessageIcon::Error);
    return;
  }
  if (btnStart.Tag == 1) {
    ShowMessageBox(kJobRunning, velbrook::MessageIcon::Information);
    return;
  }
  btnStart.Tag = 1;
  // The previous worker handed the flag back as its last act: it has ended
  // or is about to, and waits for nothing of this thread.
  worker_.reset();
  try {
    worker_ = std::make_unique<TMyThread>(*this);
  } catch (const std::system_error& refused) {
    btnStart.Tag = 0;
    ShowDefaultErrorBox(kThreadCreationError + velbrook::SystemErrorText(refused.code()));
  }
}

void TfrmMain::AbandonJob() {
  // The client first: its connect or read in progress and every later one
  // fail at once, so the abandoned job sends nothing more. Then nothing of
  // the worker's reaches the window any more, and a read it waits for
  // returns (an empty text, which no fetch can use now).
  idhtp().Abort();
  EndHandOver();
  if (!worker_) return;
  if (!worker_->WaitUntilFinished(kAbandonLimit)) {
    // The worker cannot be woken and would outlive the client and the window:
    // the program ends here with it still in it, and says by its status that
    // it did not end cleanly.
    std::_Exit(EXIT_FAILURE);
  }
  worker_.reset();
}
