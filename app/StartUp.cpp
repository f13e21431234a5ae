#include "app/StartUp.h"

#include <QApplication>

#include "app/MainUnit.h"
#include "app/Platform.h"
#include "app/Site.h"
#include "text/MarkerText.h"

namespace velbrook {

int RunMainWindow(const std::function<void(TfrmMain&)>& prepare) {
  // The main window is a top-level window of its own and so has its own
  // task-bar entry; the desktop file lends it the program's icon there.
  QGuiApplication::setDesktopFileName(QStringLiteral(VELBROOK_APP_ID));
  SetApplicationTitle(kApplicationTitle);
  ReadDecimalSeparatorFromLocale();

  TfrmMain frmMain;
  if (prepare) prepare(frmMain);
  frmMain.show();
  // Closing the main window ends the loop; the window and all it owns go
  // when frmMain leaves this scope.
  return QApplication::exec();
}

}  // namespace velbrook
