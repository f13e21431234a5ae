#pragma once
// The worker of one job: a thread that runs the window's extraction run and
// then hands the end of the job back to the window's thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TfrmMain;

class TMyThread {
 public:
  // How a worker's thread is brought up: std::thread unless replaced, so
  // that a test can play a system that refuses a new thread.
  using Launcher = std::function<std::thread(std::function<void()> body)>;
  static void SetLauncher(Launcher launcher);

  // Starts the worker at once. Throws std::system_error when the system
  // refuses a new thread; nothing has run then.
  explicit TMyThread(TfrmMain& frmMain);
  // Joins the thread: only once the run has ended or been cut short.
  ~TMyThread();
  TMyThread(const TMyThread&) = delete;
  TMyThread& operator=(const TMyThread&) = delete;

  // True once Execute has returned, waiting at most limit for it.
  bool WaitUntilFinished(std::chrono::milliseconds limit);

 private:
  // The worker's one operation: the run, silent on failure, then the busy
  // flag handed back to the window.
  void Execute();

  TfrmMain& frmMain_;
  std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
  std::thread thread_;
};
