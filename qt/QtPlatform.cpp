#include "qt/QtPlatform.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>
#include <QWidget>

namespace velbrook {

void ShowQtMessageBox(QWidget* owner, const Text& caption, const Text& text, MessageIcon icon) {
  const QMessageBox::Icon shown =
      icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information;
  QMessageBox box(shown, ToQString(caption), ToQString(text), QMessageBox::Ok, owner);
  // The text as written: a name holding "<b>" is no markup.
  box.setTextFormat(Qt::PlainText);
  // While it is shown no window of the program takes input.
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

std::optional<Text> ShowQtSaveDialog(QWidget* owner, const Text& filter, const Text& initialName) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The name is taken as typed: no suffix added, no question about replacing.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // The file type reads as its display text alone; its mask still filters.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilter(QtFileFilter(filter));
  if (!initialName.empty()) dialog.selectFile(ToQString(initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return FromQString(chosen.front());
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

bool OpenQtWebAddress(const Text& address) {
  return QDesktopServices::openUrl(QUrl(ToQString(address)));
}

}  // namespace velbrook
