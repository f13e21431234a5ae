#include "qt/Application.h"

#include <QByteArray>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "app/DefaultError.h"
#include "qt/QtPlatform.h"

namespace velbrook {
namespace {

struct HeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};

// The application object is made once, before any other; threads Qt starts
// meanwhile may report too.
struct StartUp {
  std::mutex lock;
  QByteArray program;
  QtMessageHandler previous = nullptr;
  std::vector<HeldMessage> held;
};
StartUp& TheStartUp() {
  static StartUp startUp;
  return startUp;
}

// Qt's messages while it connects to the window system. When no platform
// plugin can open a display Qt reports it as fatal and would abort (a core
// dump, status 134) after its plugins' warnings; the user gets one line
// instead, and the status of a failed start.
void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  StartUp& startUp = TheStartUp();
  if (type == QtFatalMsg) {
    const char* program = startUp.program.constData();
    std::fprintf(stderr,
                 "%s: cannot open a display; run it in an X11 or Wayland desktop session (DISPLAY "
                 "or WAYLAND_DISPLAY set), or in a virtual one: xvfb-run -a %s\n",
                 program, program);
    std::_Exit(1);
  }
  const std::lock_guard<std::mutex> held(startUp.lock);
  startUp.held.push_back({type, QByteArray(context.category), text});
}

}  // namespace

Application::Application(int& argc, char** argv)
    : QApplication(HoldStartUpMessages(argc, argv), argv) {
  ReleaseStartUpMessages();
  for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, settings_.path());
}

int& Application::HoldStartUpMessages(int& argc, char** argv) {
  StartUp& startUp = TheStartUp();
  const QByteArray path = argc > 0 ? QByteArray(argv[0]) : QByteArray("velbrook");
  startUp.program = path.mid(path.lastIndexOf('/') + 1);
  startUp.previous = qInstallMessageHandler(HoldMessage);
  return argc;
}

void Application::ReleaseStartUpMessages() {
  StartUp& startUp = TheStartUp();
  qInstallMessageHandler(startUp.previous);
  const std::lock_guard<std::mutex> held(startUp.lock);
  for (const HeldMessage& message : startUp.held) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
    if (startUp.previous != nullptr) startUp.previous(message.type, context, message.text);
  }
  startUp.held.clear();
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowQtMessageBox(activeWindow(), ApplicationTitle(),
                     DefaultErrorText(FailureMessage(std::current_exception())),
                     MessageIcon::Error);
    return false;
  }
}

}  // namespace velbrook
