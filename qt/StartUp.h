#pragma once
// The program's start-up once its QApplication exists, shared by the program
// and the demo: the application title, the regional decimal separator, Qt's
// own texts in the user's language, the main window with its own task-bar entry, and the event loop
// until the main window is closed.
#include <QTranslator>
#include <functional>

class QLocale;
class TfrmMain;

namespace velbrook {

// Qt's own texts (the save dialog's title, labels and buttons, the message
// boxes' OK) in the language of locale, from Qt's installed translations,
// for as long as it lives. Nothing changes when Qt has none for locale.
class QtTranslations {
 public:
  explicit QtTranslations(const QLocale& locale);
  ~QtTranslations();
  QtTranslations(const QtTranslations&) = delete;
  QtTranslations& operator=(const QtTranslations&) = delete;

  bool installed() const { return installed_; }

 private:
  QTranslator translator_;
  bool installed_ = false;
};

// prepare runs on the new main window before it is shown (the demo points
// the window's HTTP client at its forum there). Returns the loop's exit code;
// the window and all it owns are gone when it returns.
int RunMainWindow(const std::function<void(TfrmMain&)>& prepare = {});

}  // namespace velbrook
