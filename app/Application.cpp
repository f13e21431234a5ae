#include "app/Application.h"

#include "app/Platform.h"

namespace velbrook {

bool Application::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunGuarded(activeWindow(), [&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace velbrook
