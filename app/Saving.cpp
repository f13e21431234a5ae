// The popup menu's save item: the output text into a file that the user
// names, in code page 936 without byte-order mark.
#include <string>

#include "app/MainUnit.h"
#include "app/TextFile.h"
#include "text/Encoding.h"

namespace {

const velbrook::Text kSavedSuffix = u".txt";
const velbrook::Text kSaved = u"保存成功啦!";
const velbrook::Text kStreamWriteError = u"Stream write error";

// The system's reason as the message shows it: in the locale's encoding,
// without the spaces, line breaks and dots at its end.
velbrook::Text ReasonText(const std::string& reason) {
  velbrook::Text text = velbrook::FromUtf8(reason);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\r' || text.back() == u'\n' ||
                           text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

velbrook::Text CannotCreateText(const velbrook::Text& path, const std::string& reason) {
  return u"Cannot create file \"" + path + u"\". " + ReasonText(reason);
}

std::string NativePath(const velbrook::Text& path) { return velbrook::ToUtf8(path); }

}  // namespace

void TfrmMain::XTs1Click(const void* /*Sender*/) {
  const std::optional<velbrook::Text> chosen = dlgSave.Execute(window_);
  if (!chosen) return;
  // Whatever the name already ends with.
  const velbrook::Text path = *chosen + kSavedSuffix;
  std::optional<velbrook::TextFile> file;
  try {
    file.emplace(velbrook::TextFile::CreateOrReplace(NativePath(path)));
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
