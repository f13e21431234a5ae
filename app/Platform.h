#pragma once
// The desktop services the window needs: modal message boxes, the default
// error box, opening a web address in the browser and the save-file dialog.
// Each goes through a replaceable function so that tests can answer it
// without a person; the defaults use Qt's own boxes, dialog and URL opener.
#include <functional>
#include <optional>

#include <QString>

#include "text/MarkerText.h"

class QWidget;

namespace velbrook {

// The icon of a message box; the values are the Windows MB_ICON* flags.
enum class MessageIcon : unsigned { Error = 0x10, Information = 0x40 };

// One modal box with a single OK button.
struct MessageBoxRequest {
  QWidget* owner = nullptr;
  Text caption;
  Text text;
  MessageIcon icon = MessageIcon::Information;
};
using MessageBoxShower = std::function<void(const MessageBoxRequest&)>;

// The save-file dialog: filter in the form "display|mask[|display|mask...]",
// the name it opens with; returns the full path chosen, nothing on cancel.
struct SaveDialogRequest {
  QWidget* owner = nullptr;
  Text filter;
  Text initialName;
};
using SaveDialogShower = std::function<std::optional<Text>(const SaveDialogRequest&)>;

// Hands an address to the desktop's web browser; true when it was taken.
using WebAddressOpener = std::function<bool(const Text&)>;

// Each installer replaces the current function and returns the one it
// replaced; an empty function brings back the system's own.
MessageBoxShower SetMessageBoxShower(MessageBoxShower shower);
SaveDialogShower SetSaveDialogShower(SaveDialogShower shower);
WebAddressOpener SetWebAddressOpener(WebAddressOpener opener);

// A modal box owned by owner with one OK button and icon; its caption is the
// owner window's caption at this moment. Returns when the user closes it.
void ShowMessageBox(QWidget* owner, const Text& text, MessageIcon icon);

// The application title, the caption of the default error box only.
void SetApplicationTitle(const Text& title);
Text ApplicationTitle();

// The text the default error box shows for a failure's message: a "." is
// added when the message is not empty and its last code unit is above ".".
Text DefaultErrorText(const Text& message);
// The box for a failure on the window's thread that nothing else handled:
// error icon, one OK, caption the application title.
void ShowDefaultErrorBox(QWidget* owner, const Text& message);
// Runs action; a failure escaping it goes to the default error box and the
// window carries on. Handlers run through this so no failure reaches Qt.
void RunGuarded(QWidget* owner, const std::function<void()>& action);

// Opens address in the desktop's web browser; failures stay silent.
void OpenWebAddress(const Text& address);

// Shows the save-file dialog (see SaveDialogRequest).
std::optional<Text> ShowSaveDialog(QWidget* owner, const Text& filter, const Text& initialName);
// The Qt file-dialog filter for a "display|mask|..." filter text: each pair
// becomes "display (mask)", pairs joined by ";;".
QString QtFileFilter(const Text& filter);

// Conversions between our texts and Qt's strings (both UTF-16).
inline QString ToQString(TextView text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline Text FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace velbrook
