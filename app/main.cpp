// The program's entry: the application, its title, the main window, and the
// event loop until the main window is closed.
#include <QApplication>

#include "app/MainUnit.h"
#include "app/Platform.h"
#include "app/Site.h"
#include "text/MarkerText.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The main window is a top-level window of its own and so has its own
  // task-bar entry; the desktop file lends it the program's icon there.
  QGuiApplication::setDesktopFileName(QStringLiteral("velbrook"));
  velbrook::SetApplicationTitle(velbrook::kApplicationTitle);
  velbrook::ReadDecimalSeparatorFromLocale();

  TfrmMain frmMain;
  frmMain.show();
  // Closing the main window ends the loop; the window and all it owns go
  // when frmMain leaves this scope.
  return application.exec();
}
