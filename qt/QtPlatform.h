#pragma once
// The desktop services of the Qt window: modal message boxes, the
// save-file dialog and opening a web address, Qt's own, and the conversions
// between our texts and Qt's strings.
#include <QString>
#include <functional>
#include <optional>

#include "app/Window.h"
#include "text/MarkerText.h"

class QWidget;

namespace velbrook {

// A modal box owned by owner with one OK button and icon; the text is shown
// as written, never as markup. Returns when the user closes it.
void ShowQtMessageBox(QWidget* owner, const Text& caption, const Text& text, MessageIcon icon);

// Qt's save-file dialog, modal, for a filter "display|mask[|...]" and the
// name it opens with: the full path chosen as typed, nothing on cancel.
std::optional<Text> ShowQtSaveDialog(QWidget* owner, const Text& filter, const Text& initialName);
// The Qt file-dialog filter for a "display|mask|..." filter text: each pair
// becomes "display (mask)", pairs joined by ";;".
QString QtFileFilter(const Text& filter);

// Hands address to the desktop's web browser; true when it was taken.
bool OpenQtWebAddress(const Text& address);

// Conversions between our texts and Qt's strings (both UTF-16).
inline QString ToQString(TextView text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline Text FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace velbrook
