#pragma once
// The application object of the programs: a failure that escapes an event
// handler on the window's thread goes to the default error box, and the
// program carries on, instead of unwinding through the window system.
#include <QApplication>

namespace velbrook {

class Application : public QApplication {
 public:
  Application(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace velbrook
