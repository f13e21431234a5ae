// The main window's state and its window access: every touch of a control
// goes to the window's thread through the hand-over, and from there to the
// Window.
#include "app/MainUnit.h"

#include "app/DefaultError.h"
#include "app/Form.h"
#include "app/MyThread.h"
#include "app/Site.h"
#include "fetch/HttpClient.h"
#include "os/DecimalSeparator.h"

using velbrook::Text;

namespace {

constexpr char16_t kLineBreak[] = u"\r\n";

}  // namespace

TfrmMain::TfrmMain(velbrook::Window& window)
    : window_(window),
      idhtp_(std::make_unique<velbrook::HttpClient>()),
      handOver_([this] { window_.WakeHandOver(); }) {
  handOver_.SetAfterWork([this] { window_.EndOfWork(); });
}

TfrmMain::~TfrmMain() { AbandonJob(); }

Text TfrmMain::ReadAddressBox() {
  return handOver_.Call<Text>([this] { return window_.AddressText(); });
}

Text TfrmMain::ReadCaption() {
  return handOver_.Call<Text>([this] { return window_.Caption(); });
}

void TfrmMain::ClearOutput() {
  handOver_.Post([this] { window_.ClearOutput(); });
}

// The insertion point is the end, wherever the user's cursor was, and the
// rule looks at the text as the user left it: a final break they deleted is
// not put back, the new block comes after a break instead.
void TfrmMain::AppendOutput(const Text& ABlock) {
  handOver_.Post([this, ABlock] {
    if (window_.OutputEndsAtLineStart()) {
      window_.AddToOutput(ABlock);
      window_.AddToOutput(kLineBreak);
    } else {
      window_.AddToOutput(kLineBreak);
      window_.AddToOutput(ABlock);
    }
  });
}

Text TfrmMain::ReadOutput() {
  return handOver_.Call<Text>([this] { return window_.OutputText(); });
}

void TfrmMain::ShowStatus(const Text& AText, const Text& AKind) {
  int panel = -1;
  if (velbrook::IsEqual(AKind, u"A")) {
    panel = velbrook::kProgressPanel;
  } else if (velbrook::IsEqual(AKind, u"S")) {
    panel = velbrook::kContactPanel;
  } else {
    return;
  }
  handOver_.Post([this, panel, AText] { window_.SetPanelText(panel, AText); });
}

void TfrmMain::ClearBusyFlag() {
  handOver_.Post([this] { btnStart.Tag = 0; });
}

void TfrmMain::ShowMessageBox(const Text& AText, velbrook::MessageIcon AIcon) {
  window_.ShowMessageBox(window_.Caption(), AText, AIcon);
}

void TfrmMain::ShowDefaultErrorBox(const Text& AMessage) {
  window_.ShowMessageBox(velbrook::ApplicationTitle(), velbrook::DefaultErrorText(AMessage),
                         velbrook::MessageIcon::Error);
}

void TfrmMain::RunGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (...) {
    // A box that fails in turn has nowhere left to go.
    try {
      ShowDefaultErrorBox(velbrook::FailureMessage(std::current_exception()));
    } catch (...) {
    }
  }
}

void TfrmMain::EndHandOver() { handOver_.Close(); }

// --- The two home-page items. ---

void TfrmMain::N1Click(const void* /*Sender*/) {
  // Whether the browser took it or not, nothing is reported.
  try {
    window_.OpenWebAddress(velbrook::kHomePageAddress);
  } catch (...) {
  }
}

void TfrmMain::N2Click(const void* Sender) { N1Click(Sender); }
