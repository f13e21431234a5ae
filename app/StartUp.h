#pragma once
// The program's start-up once its QApplication exists, shared by the program
// and the demo: the application title, the regional decimal separator, the
// main window with its own task-bar entry, and the event loop until the main
// window is closed.
#include <functional>

class TfrmMain;

namespace velbrook {

// prepare runs on the new main window before it is shown (the demo points
// the window's HTTP client at its forum there). Returns the loop's exit code;
// the window and all it owns are gone when it returns.
int RunMainWindow(const std::function<void(TfrmMain&)>& prepare = {});

}  // namespace velbrook
