// The popup menu's save item: the output text into a file that the user
// names, in code page 936 without byte-order mark.
#include <string>

#include "app/MainUnit.h"
#include "os/TextFile.h"
#include "text/Encoding.h"

namespace {

const velbrook::Text kSavedSuffix = u".txt";
const velbrook::Text kSaved = u"保存成功啦!";
const velbrook::Text kStreamWriteError = u"Stream write error";

// The system's reason as the message shows it: without the spaces, line
// breaks and dots at its end.
velbrook::Text ReasonText(velbrook::Text text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\r' || text.back() == u'\n' ||
                           text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

velbrook::Text CannotCreateText(const velbrook::Text& path, const velbrook::Text& reason) {
  return u"Cannot create file \"" + path + u"\". " + ReasonText(reason);
}

}  // namespace

void TfrmMain::XTs1Click(const void* /*Sender*/) {
  const std::optional<velbrook::Text> chosen = dlgSave.Execute(window_);
  if (!chosen) return;
  // Whatever the name already ends with.
  const velbrook::Text path = *chosen + kSavedSuffix;
  std::optional<velbrook::TextFile> file;
  try {
    file.emplace(velbrook::TextFile::CreateOrReplace(path));
  } catch (const velbrook::FileCreateError& refused) {
    ShowDefaultErrorBox(CannotCreateText(path, refused.reason()));
    return;
  }
  const std::string bytes = velbrook::EncodeCp936(ReadOutput());
  try {
    file->WriteAll(bytes);
    file->Close();
  } catch (const velbrook::FileWriteError&) {
    // What reached the file stays in it.
    ShowDefaultErrorBox(kStreamWriteError);
    return;
  }
  ShowMessageBox(kSaved, velbrook::MessageIcon::Information);
}
