#include "app/MyThread.h"

#include <utility>

#include "app/MainUnit.h"

namespace {

TMyThread::Launcher& CurrentLauncher() {
  static TMyThread::Launcher launcher;
  return launcher;
}

}  // namespace

void TMyThread::SetLauncher(Launcher launcher) { CurrentLauncher() = std::move(launcher); }

TMyThread::TMyThread(TfrmMain& frmMain) : frmMain_(frmMain) {
  std::function<void()> body = [this] { Execute(); };
  const Launcher& launcher = CurrentLauncher();
  thread_ = launcher ? launcher(std::move(body)) : std::thread(std::move(body));
}

TMyThread::~TMyThread() {
  if (thread_.joinable()) thread_.join();
}

bool TMyThread::WaitUntilFinished(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_for(lock, limit, [this] { return finished_; });
}

void TMyThread::Execute() {
  try {
    frmMain_.ToText();
  } catch (...) {
    // A failed run ends the job without a word: what it appended stays, the
    // progress panel keeps its last text.
  }
  frmMain_.ClearBusyFlag();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}
