#include "qt/StartUp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "app/DefaultError.h"
#include "app/MainUnit.h"
#include "app/Site.h"
#include "os/DecimalSeparator.h"
#include "qt/QtWindow.h"
#include "text/MarkerText.h"

namespace velbrook {

QtTranslations::QtTranslations(const QLocale& locale) {
  installed_ = translator_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
               QCoreApplication::installTranslator(&translator_);
}

QtTranslations::~QtTranslations() {
  if (installed_) QCoreApplication::removeTranslator(&translator_);
}

int RunMainWindow(const std::function<void(TfrmMain&)>& prepare) {
  // The main window is a top-level window of its own and so has its own
  // task-bar entry; the desktop file lends it the program's icon there.
  QGuiApplication::setDesktopFileName(QStringLiteral(VELBROOK_APP_ID));
  SetApplicationTitle(kApplicationTitle);
  ReadDecimalSeparatorFromLocale();
  // The system's locale; nothing of the program's configures it.
  const QtTranslations translations(QLocale::system());

  QtWindow frmMain;
  if (prepare) prepare(frmMain.frmMain());
  frmMain.show();
  // Closing the main window ends the loop; the window and all it owns go
  // when frmMain leaves this scope.
  return QApplication::exec();
}

}  // namespace velbrook
