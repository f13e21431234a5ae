#include "tests/app/FakeWindow.h"

#include <chrono>

#include "app/Form.h"
#include "app/Site.h"

namespace velbrook::testing {

FakeWindow::FakeWindow()
    : Window([this] { Wake(); }),
      address(kSampleThreadAddress),
      caption(kWindowCaption),
      panels{kMakerContact, Text(), Text(), kProgressCaption} {}

FakeWindow::~FakeWindow() { frmMain.AbandonJob(); }

bool FakeWindow::WaitUntil(const std::function<bool()>& done, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    if (done()) return true;
    bool drain = false;
    {
      std::unique_lock guard(lock_);
      // A short wait: done may turn true without a wake (a worker's own state).
      drain = woken_.wait_for(guard, std::chrono::milliseconds(1),
                              [this] { return wakes_ > drained_; });
      if (drain) drained_ = wakes_;
    }
    if (drain) frmMain.DrainHandOver();
    if (std::chrono::steady_clock::now() >= end) return done();
  }
}

void FakeWindow::ClickStart() {
  frmMain.RunGuarded([this] { frmMain.btnStartClick(); });
}

int FakeWindow::Wakes() {
  std::lock_guard guard(lock_);
  return wakes_;
}

bool FakeWindow::OutputEndsAtLineStart() {
  return output.empty() || output.back() == u'\n' || output.back() == u'\r';
}

void FakeWindow::SetPanelText(int index, const Text& text) {
  panels.at(static_cast<size_t>(index)) = text;
}

void FakeWindow::Wake() {
  {
    std::lock_guard guard(lock_);
    ++wakes_;
  }
  woken_.notify_all();
}

}  // namespace velbrook::testing
