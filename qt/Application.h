#pragma once
// The application object of the programs: a failure that escapes an event
// handler on the window's thread goes to the default error box, and the
// program carries on, instead of unwinding through the window system. When
// no display can be opened it says so in one line and exits with status 1.
// Nothing is read at start-up or kept at the end: what Qt's own dialogs keep
// as settings (the save dialog's recent folders) goes to a folder of this
// run's, removed at the exit.
#include <QApplication>
#include <QTemporaryDir>

namespace velbrook {

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  // Until ReleaseStartUpMessages, Qt's messages are held back, and Qt giving
  // up on the window system ends the program with one line and status 1
  // rather than an abort. Returns argc.
  static int& HoldStartUpMessages(int& argc, char** argv);
  // Hands the held messages on, as they would have gone.
  static void ReleaseStartUpMessages();

  QTemporaryDir settings_;
};

}  // namespace velbrook
