#include "app/Platform.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <exception>
#include <mutex>
#include <utility>

#include "app/Site.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

// The installed functions; the window's thread is their only user, but a
// lock keeps an installer on a test's thread sound all the same.
std::mutex& SeamLock() {
  static std::mutex lock;
  return lock;
}
MessageBoxShower& InstalledMessageBox() {
  static MessageBoxShower shower;
  return shower;
}
SaveDialogShower& InstalledSaveDialog() {
  static SaveDialogShower shower;
  return shower;
}
WebAddressOpener& InstalledOpener() {
  static WebAddressOpener opener;
  return opener;
}
Text& TitleStore() {
  static Text title = kApplicationTitle;
  return title;
}

template <class F>
F Replace(F& slot, F next) {
  std::lock_guard guard(SeamLock());
  return std::exchange(slot, std::move(next));
}
template <class F>
F Current(const F& slot) {
  std::lock_guard guard(SeamLock());
  return slot;
}

void SystemMessageBox(const MessageBoxRequest& request) {
  const QMessageBox::Icon icon =
      request.icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information;
  QMessageBox box(icon, ToQString(request.caption), ToQString(request.text), QMessageBox::Ok,
                  request.owner);
  // The text as written: a name holding "<b>" is no markup.
  box.setTextFormat(Qt::PlainText);
  // While it is shown no window of the program takes input.
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

std::optional<Text> SystemSaveDialog(const SaveDialogRequest& request) {
  QFileDialog dialog(request.owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The name is taken as typed: no suffix added, no question about replacing.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // The file type reads as its display text alone; its mask still filters.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilter(QtFileFilter(request.filter));
  if (!request.initialName.empty()) dialog.selectFile(ToQString(request.initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return FromQString(chosen.front());
}

bool SystemOpener(const Text& address) {
  return QDesktopServices::openUrl(QUrl(ToQString(address)));
}

Text CaptionOf(QWidget* owner) {
  if (owner == nullptr) return Text();
  return FromQString(owner->window()->windowTitle());
}

}  // namespace

MessageBoxShower SetMessageBoxShower(MessageBoxShower shower) {
  return Replace(InstalledMessageBox(), std::move(shower));
}
SaveDialogShower SetSaveDialogShower(SaveDialogShower shower) {
  return Replace(InstalledSaveDialog(), std::move(shower));
}
WebAddressOpener SetWebAddressOpener(WebAddressOpener opener) {
  return Replace(InstalledOpener(), std::move(opener));
}

namespace {
void ShowBox(const MessageBoxRequest& request) {
  const MessageBoxShower shower = Current(InstalledMessageBox());
  if (shower) {
    shower(request);
  } else {
    SystemMessageBox(request);
  }
}
}  // namespace

void ShowMessageBox(QWidget* owner, const Text& text, MessageIcon icon) {
  ShowBox({owner, CaptionOf(owner), text, icon});
}

void SetApplicationTitle(const Text& title) {
  std::lock_guard guard(SeamLock());
  TitleStore() = title;
}
Text ApplicationTitle() {
  std::lock_guard guard(SeamLock());
  return TitleStore();
}

Text DefaultErrorText(const Text& message) {
  if (!message.empty() && message.back() > u'.') return message + u".";
  return message;
}

void ShowDefaultErrorBox(QWidget* owner, const Text& message) {
  ShowBox({owner, ApplicationTitle(), DefaultErrorText(message), MessageIcon::Error});
}

void RunGuarded(QWidget* owner, const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& failure) {
    ShowDefaultErrorBox(owner, FromUtf8(failure.what()));
  } catch (...) {
    ShowDefaultErrorBox(owner, u"Unknown failure");
  }
}

void OpenWebAddress(const Text& address) {
  const WebAddressOpener opener = Current(InstalledOpener());
  try {
    // Whether the browser took it or not, nothing is reported.
    static_cast<void>(opener ? opener(address) : SystemOpener(address));
  } catch (...) {
  }
}

std::optional<Text> ShowSaveDialog(QWidget* owner, const Text& filter, const Text& initialName) {
  const SaveDialogShower shower = Current(InstalledSaveDialog());
  const SaveDialogRequest request{owner, filter, initialName};
  return shower ? shower(request) : SystemSaveDialog(request);
}

QString QtFileFilter(const Text& filter) {
  const QStringList parts = ToQString(filter).split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    // Qt reads the masks from the parentheses; Windows separates them by ";".
    QString masks = parts[i + 1];
    masks.replace(u';', u' ');
    entries << parts[i] + QStringLiteral(" (") + masks + u')';
  }
  return entries.join(u";;");
}

}  // namespace velbrook
