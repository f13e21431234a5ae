#pragma once
// The window's save dialog dlgSave: its one file type, and the name chosen
// at its last accepted showing, which the next showing opens with.
#include <optional>

#include "app/Window.h"
#include "text/MarkerText.h"

namespace velbrook {

struct SaveDialog {
  // One entry, the selected one; the dialog adds no extension of its own.
  Text Filter = u"文本文件*.txt|*.txt";
  // Empty until the first accepted showing; kept as the dialog returned it.
  Text FileName;

  // Shows the dialog modally; the chosen full path, nothing when cancelled.
  std::optional<Text> Execute(Window& owner) {
    std::optional<Text> chosen = owner.RunSaveDialog(Filter, FileName);
    if (chosen) FileName = *chosen;
    return chosen;
  }
};

}  // namespace velbrook
